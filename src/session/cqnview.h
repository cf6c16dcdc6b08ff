// The main window's one view: the session controller's window; it shows the button face and prints it.
#pragma once

#include "platform/cmsgwnd.h"

#include <QWidget>

#include <memory>

class CQnDoc;
class QPainter;
class QPrinter;

class CQnView : public CMsgWnd<QWidget>
{
    Q_OBJECT
public:
    explicit CQnView(QWidget *parent = nullptr);
    ~CQnView() override;

    // Called after every New and Open with the document now shown.
    void OnInitialUpdate(CQnDoc *document);
    CQnDoc *GetDocument() const { return m_pDocument; }

    // The one enable rule of every command the frame shows; ids the rule does not name are enabled.
    bool IsCommandEnabled(int id) const;
    // The two loopback items are checked exactly when they are disabled.
    bool IsCommandChecked(int id) const;
    // Runs a command of the view (printing, and the session's commands).
    void OnCommand(int id);

    // The view's drawing: `area` filled with the button face colour.
    void OnDraw(QPainter *painter, const QRect &area) const;
    // Prints the drawing at the size it has on the screen; false when the printer cannot start.
    bool PrintOn(QPrinter *printer) const;

Q_SIGNALS:
    // The enabled or checked state of some command may have changed.
    void CommandStateChanged();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void OnFilePrint(bool withDialog);
    void OnFilePrintPreview();
    QPrinter *Printer();

    CQnDoc *m_pDocument = nullptr;
    std::unique_ptr<QPrinter> m_pPrinter;
};
