// The program's main window: menu bar, tool bar, status bar and the splitter that holds the view.
#pragma once

#include "app/ui/cpersistentframe.h"

#include <QStringList>

#include <functional>
#include <map>

class CElidedLabel;
class CRelayWnd;
class CQnView;
class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QStatusBar;
class QToolBar;

class CMainFrame : public CPersistentFrame
{
    Q_OBJECT
public:
    explicit CMainFrame(QWidget *parent = nullptr);

    CQnView *GetActiveView() const { return m_pView; }
    QSplitter *GetSplitter() const { return m_wndSplitter; }
    QToolBar *GetToolBar() const { return m_wndToolBar; }
    // The action of a command id, shared by the menu, the tool bar and the accelerators.
    QAction *GetAction(int id) const;
    // The status bar's message label ("ﾚﾃﾞｨ") and indicator panes (59137 CAP, 59138 NUM, 59139 SCRL, 59142 ｶﾅ).
    QLabel *GetMessagePane() const { return m_pMessagePane; }
    QLabel *GetIndicator(int id) const;
    // The pane that tells the connection in words (type, endpoint, why a connect failed).
    CElidedLabel *GetConnectionPane() const { return m_pConnectionPane; }

    // Runs a command as the menu, the tool bar or an accelerator would.
    void OnCommand(int id);
    // Brings every action's enabled and checked state in line with the view's rule.
    void UpdateCommandUI();
    // Shows the recent-file entries in the File menu (the greyed place-holder while empty).
    void SetRecentFiles(const QStringList &menuTexts);
    // Lights the Caps and Num lock panes from a key event's X11 modifier state.
    void UpdateIndicators(quint32 nativeModifiers);
    // The relay window (送信 > 中継), made when first opened; null before.
    CRelayWnd *RelayWindow() const { return m_pRelayWnd; }
    // Asked before the window closes; returning false keeps it open.
    void SetCloseQuery(std::function<bool()> query) { m_fnQueryClose = std::move(query); }

Q_SIGNALS:
    // A command the application handles: file commands, recent files, About and exit.
    void AppCommand(int id);
    // A file was dropped onto the window.
    void FileDropped(const QString &path);
    // The window has closed after its close query agreed: the program ends with it.
    void Closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateCommands();
    void CreateMenuBar();
    void CreateToolBar();
    void CreateStatusBar();
    QAction *AddCommand(QMenu *menu, int id, const QString &text);
    void OnNextPane(int step);
    static bool IsApplicationCommand(int id);

    QSplitter *m_wndSplitter = nullptr;
    QStatusBar *m_wndStatusBar = nullptr;
    QToolBar *m_wndToolBar = nullptr;
    CQnView *m_pView = nullptr;
    QLabel *m_pMessagePane = nullptr;
    CElidedLabel *m_pConnectionPane = nullptr;
    std::map<int, QLabel *> m_indicators;
    int m_nRecentCount = 0;
    std::map<int, QAction *> m_actions;
    std::function<bool()> m_fnQueryClose;
    CRelayWnd *m_pRelayWnd = nullptr;  // a child of the frame
    void OpenRelayWindow();
};
