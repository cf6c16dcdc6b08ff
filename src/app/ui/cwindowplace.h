// Keeps where a tool window was when it was last closed (a profile section of its own) and opens it
// there again, brought onto a screen as the main frame is; without a stored place the window opens
// where its first-place rule says, or where it always did.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>

class QWidget;

class CWindowPlace : public QObject
{
    Q_OBJECT
public:
    using FirstPlace = std::function<QPoint(const QWidget *window)>;

    // Watches `window` for its whole life (the keeper is its child); the place goes to "Rect" of
    // `section`, in the main frame's format: the frame's corner and the client area's size.
    static CWindowPlace *Keep(QWidget *window, const QString &section, FirstPlace firstPlace = {});

    // Where a window of `size` (its frame) goes beside `frame`: right of it, else below, else
    // left of it, whichever lies wholly on the frame's screen; right of it when none does.
    static QPoint BesideFrame(const QWidget *frame, const QSize &size);

    void Save() const;
    void Restore() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    CWindowPlace(QWidget *window, const QString &section, FirstPlace firstPlace);

    QWidget *m_pWindow;
    QString m_strSection;
    FirstPlace m_fnFirstPlace;
};
