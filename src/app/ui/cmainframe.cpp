#include "app/ui/cmainframe.h"

#include "app/ui/cwindowplace.h"
#include "batch/ui/cbatchsenddlg.h"
#include "display/ui/ccommandsenddlg.h"
#include "display/ui/celidedlabel.h"
#include "display/ui/cmessagewnd.h"
#include "relay/ui/crelaywnd.h"
#include "res/appresources.h"
#include "res/commandids.h"
#include "session/ui/cqnview.h"
#include "session/ui/ccommandpanelwnd.h"
#include "session/ui/cstatswnd.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <iterator>

namespace {

// A tool bar button (id 0 is a separator) with its status-bar prompt, tooltip and icon; an icon
// written "@DTR" is those letters, drawn small. The serial line's controls share one button whose
// menu holds them, so that the tool bar keeps to the default width.
struct ToolButton
{
    int id;
    const char *prompt;
    const char *tip;
    const char *icon;
    const char *themeIcon;
};

const ToolButton kToolButtons[] = {
    {ID_FILE_NEW, "新規にﾌｧｲﾙを作成", "新規ﾌｧｲﾙ", "new", "document-new"},
    {ID_FILE_OPEN, "既存のﾌｧｲﾙを開く", "開く", "open", "document-open"},
    {0, nullptr, nullptr, nullptr, nullptr},
    {ID_FILE_SAVE, "作業中のﾌｧｲﾙを保存", "保存", "save", "document-save"},
    {0, nullptr, nullptr, nullptr, nullptr},
    {ID_SOCKET_CONNECT, "ｿｹｯﾄを接続します", "ｿｹｯﾄ接続", "connect", nullptr},
    {ID_SOCKET_DISCONNECT, "ｿｹｯﾄを切断します", "ｿｹｯﾄ切断", "disconnect", nullptr},
    {ID_SOCKET_SETTING, "ｿｹｯﾄ接続時のIPｱﾄﾞﾚｽまたはﾎﾟｰﾄの設定を行います", "ｿｹｯﾄ設定", "setting", nullptr},
    {ID_SOCKET_TYPE, "ｿｹｯﾄのﾀｲﾌﾟを設定します", "ｿｹｯﾄﾀｲﾌﾟ", "type", nullptr},
    {0, nullptr, nullptr, nullptr, nullptr},
    {ID_COMMAND_SEND, "ｺﾏﾝﾄﾞを作成し、送信します", "ｺﾏﾝﾄﾞ送信", "command", nullptr},
    {ID_BATCH_SEND, "ｼﾅﾘｵﾌｧｲﾙを作成して一括送信します", "一括送信", "batch", nullptr},
    {ID_REPLY_RULES, "受信した電文に自動で応答するﾙｰﾙを設定します", "応答ﾙｰﾙ設定", "replyrule", nullptr},
    {ID_LINE_MENU, "ｼﾘｱﾙの DTR、RTS のｵﾝ/ｵﾌとﾌﾞﾚｰｸ送信", "DTR/RTS/ﾌﾞﾚｰｸ", "@DTR", nullptr},
    {ID_LOOPBACK_ON, "受信した電文と同一の電文を自動で送信します", "ﾙｰﾌﾟﾊﾞｯｸ ON", "loopon", nullptr},
    {ID_LOOPBACK_OFF, "電文を受信しても送信しません", "ﾙｰﾌﾟﾊﾞｯｸ OFF", "loopoff", nullptr},
    {0, nullptr, nullptr, nullptr, nullptr},
    {ID_CAPTURE_START, "受信ﾃﾞｰﾀをﾊﾞｲﾅﾘﾌｧｲﾙで保存開始", "受信ﾃﾞｰﾀをﾊﾞｲﾅﾘﾌｧｲﾙで保存開始", "capstart", nullptr},
    {ID_CAPTURE_STOP, "受信ﾃﾞｰﾀをﾊﾞｲﾅﾘﾌｧｲﾙで保存終了", "受信ﾃﾞｰﾀをﾊﾞｲﾅﾘﾌｧｲﾙで保存終了", "capstop", nullptr},
    {0, nullptr, nullptr, nullptr, nullptr},
    {ID_VIEW_LOG, "QNの動作履歴を表示します", "ﾛｸﾞ", "log", nullptr},
    {ID_VIEW_HISTORY, "送受信した電文の履歴を表示します", "送受信履歴", "history", nullptr},
    {ID_VIEW_STATS, "送受信の件数、速度、応答時間をｸﾞﾗﾌで表示します", "通信統計", "stats", nullptr},
    {0, nullptr, nullptr, nullptr, nullptr},
    {ID_APP_ABOUT, "ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示", "ﾊﾞｰｼﾞｮﾝ情報", "about", "help-about"},
};

const ToolButton *FindToolButton(int id)
{
    const auto it = std::find_if(std::begin(kToolButtons), std::end(kToolButtons),
                                 [id](const ToolButton &button) { return button.id == id; });
    return it == std::end(kToolButtons) ? nullptr : it;
}

// The status bar's indicator panes, in order.
const std::pair<int, const char *> kIndicators[] = {
    {ID_INDICATOR_KANA, "ｶﾅ"},
    {ID_INDICATOR_CAPS, "CAP"},
    {ID_INDICATOR_NUM, "NUM"},
    {ID_INDICATOR_SCRL, "SCRL"},
};

// X11 modifier bits of a key event: Lock (Caps Lock) and Mod2 (Num Lock).
constexpr quint32 kX11LockMask = 0x02;
constexpr quint32 kX11NumLockMask = 0x10;

QString Text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// Letters as a tool bar image of `size`: black on the button, greyed by the style when disabled.
QIcon LetterIcon(const QString &letters, QSize size)
{
    QPixmap pixmap(size * 2);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font = painter.font();
    font.setPixelSize(7);
    font.setBold(true);
    font.setStretch(QFont::Condensed);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter | Qt::TextDontClip, letters);
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

CMainFrame::CMainFrame(QWidget *parent) : CPersistentFrame(parent)
{
    setWindowIcon(AppIcon());
    setWindowTitle(QStringLiteral("Quillnet"));
    setAcceptDrops(true);

    // The client area: a splitter with the one view. It is not split dynamically: every pane would
    // be a view of its own, and the view owns the session's sockets and windows.
    m_wndSplitter = new QSplitter(this);
    m_wndSplitter->setChildrenCollapsible(false);
    m_pView = new CQnView(m_wndSplitter);
    m_wndSplitter->addWidget(m_pView);
    setCentralWidget(m_wndSplitter);

    CreateCommands();
    CreateMenuBar();
    CreateToolBar();
    CreateStatusBar();
    connect(m_pView, &CQnView::CommandStateChanged, this, &CMainFrame::UpdateCommandUI);
    // The tool windows open where they were last closed; Command Send the first time beside this window.
    CWindowPlace::Keep(m_pView->LogWindow(), QStringLiteral("Log window"));
    CWindowPlace::Keep(m_pView->HistoryWindow(), QStringLiteral("History window"));
    CWindowPlace::Keep(m_pView->CommandWindow(), QStringLiteral("Command Send window"), [this](const QWidget *window) {
        return CWindowPlace::BesideFrame(this, window->frameGeometry().size());
    });
    CWindowPlace::Keep(m_pView->BatchWindow(), QStringLiteral("Batch send window"));
    CWindowPlace::Keep(m_pView->StatsWindow(), QStringLiteral("Statistics window"));
    CWindowPlace::Keep(m_pView->CommandPanel(), QStringLiteral("Command panel window"));
    qApp->installEventFilter(this);
    UpdateCommandUI();
}

QAction *CMainFrame::GetAction(int id) const
{
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

QLabel *CMainFrame::GetIndicator(int id) const
{
    const auto it = m_indicators.find(id);
    return it == m_indicators.end() ? nullptr : it->second;
}

void CMainFrame::CreateCommands()
{
    // Commands reached only through accelerators.
    const std::pair<int, QKeySequence> hidden[] = {
        {ID_FILE_PRINT, QKeySequence(Qt::CTRL | Qt::Key_P)},
        {ID_NEXT_PANE, QKeySequence(Qt::Key_F6)},
        {ID_PREV_PANE, QKeySequence(Qt::SHIFT | Qt::Key_F6)},
    };
    for (const auto &[id, key] : hidden) {
        QAction *action = AddCommand(nullptr, id, QString());
        action->setShortcut(key);
        addAction(action);
    }
}

QAction *CMainFrame::AddCommand(QMenu *menu, int id, const QString &text)
{
    QAction *action = GetAction(id);
    if (!action) {
        action = new QAction(text, this);
        m_actions[id] = action;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    }
    if (menu)
        menu->addAction(action);
    return action;
}

void CMainFrame::CreateMenuBar()
{
    QMenuBar *bar = menuBar();
    QMenu *file = bar->addMenu(Text("ﾌｧｲﾙ(&F)"));
    AddCommand(file, ID_FILE_NEW, Text("新規作成(&N)\tCtrl+N"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    AddCommand(file, ID_FILE_OPEN, Text("開く(&O)...\tCtrl+O"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    AddCommand(file, ID_FILE_SAVE, Text("上書き保存(&S)\tCtrl+S"))->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    AddCommand(file, ID_FILE_SAVE_AS, Text("名前を付けて保存(&A)..."));
    file->addSeparator();
    AddCommand(file, ID_CAPTURE_START, Text("受信ﾃﾞｰﾀをﾊﾞｲﾅﾘﾌｧｲﾙで保存開始"));
    AddCommand(file, ID_CAPTURE_STOP, Text("受信ﾃﾞｰﾀをﾊﾞｲﾅﾘﾌｧｲﾙで保存終了"));
    file->addSeparator();
    for (int i = 0; i < ID_FILE_MRU_COUNT; ++i)
        AddCommand(file, ID_FILE_MRU_FILE1 + i, QString());
    file->addSeparator();
    AddCommand(file, ID_APP_EXIT, Text("ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)"));
    SetRecentFiles({});

    QMenu *socket = bar->addMenu(Text("ｿｹｯﾄ(&S)"));
    AddCommand(socket, ID_SOCKET_CONNECT, Text("接続(&C)"));
    AddCommand(socket, ID_SOCKET_DISCONNECT, Text("切断(&L)"));
    AddCommand(socket, ID_SOCKET_SETTING, Text("設定(&S)"));
    AddCommand(socket, ID_SOCKET_TYPE, Text("ﾀｲﾌﾟ(&T)"));

    QMenu *send = bar->addMenu(Text("送信(&C)"));
    QMenu *loopback = send->addMenu(Text("ﾙｰﾌﾟﾊﾞｯｸ設定(&L)"));
    AddCommand(loopback, ID_LOOPBACK_ON, Text("ON(&O)"))->setCheckable(true);
    AddCommand(loopback, ID_LOOPBACK_OFF, Text("OFF(&F)"))->setCheckable(true);
    AddCommand(send, ID_COMMAND_SEND, Text("ｺﾏﾝﾄﾞ送信(&S)"));
    AddCommand(send, ID_BATCH_SEND, Text("一括送信(&A)"));
    AddCommand(send, ID_REPLY_RULES, Text("応答ﾙｰﾙ設定(&R)..."));
    AddCommand(send, ID_RELAY, Text("中継(&Y)..."));
    send->addSeparator();
    AddCommand(send, ID_LINE_DTR, Text("DTR(&D)"))->setCheckable(true);
    AddCommand(send, ID_LINE_RTS, Text("RTS(&T)"))->setCheckable(true);
    AddCommand(send, ID_LINE_BREAK, Text("ﾌﾞﾚｰｸ送信(&B)"));
    AddCommand(nullptr, ID_LINE_MENU, Text("DTR/RTS/ﾌﾞﾚｰｸ"));

    QMenu *view = bar->addMenu(Text("表示(&V)"));
    AddCommand(view, ID_VIEW_HISTORY, Text("送受信履歴(&S)"));
    AddCommand(view, ID_VIEW_LOG, Text("ﾛｸﾞ(&L)"));
    AddCommand(view, ID_VIEW_STATS, Text("通信統計(&T)"));
    AddCommand(view, ID_VIEW_COMMANDS, Text("ｺﾏﾝﾄﾞ一覧(&C)"));
    AddCommand(view, ID_VIEW_PLOT, Text("ｸﾞﾗﾌ(&G)"));
    AddCommand(view, ID_VIEW_CHANNELS, Text("ﾁｬﾝﾈﾙ(&N)..."));

    QMenu *help = bar->addMenu(Text("ﾍﾙﾌﾟ(&H)"));
    AddCommand(help, ID_APP_ABOUT, Text("ﾊﾞｰｼﾞｮﾝ情報(qn) (&A)..."));

    // Greying and check marks are brought up to date whenever a menu opens.
    for (QMenu *menu : {file, socket, send, loopback, view, help})
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
}

void CMainFrame::CreateToolBar()
{
    m_wndToolBar = new QToolBar(this);
    m_wndToolBar->setObjectName(QStringLiteral("toolbar"));
    m_wndToolBar->setMovable(false);
    m_wndToolBar->setFloatable(false);
    m_wndToolBar->setAllowedAreas(Qt::TopToolBarArea);
    m_wndToolBar->setIconSize(QSize(18, 24));
    // Buttons as tight as the images allow, so that all of them show at the default width.
    m_wndToolBar->setStyleSheet(QStringLiteral("QToolBar { spacing: 0px; padding: 0px; } QToolButton { padding: 1px; }"));
    m_wndToolBar->toggleViewAction()->setEnabled(false);
    for (const ToolButton &button : kToolButtons) {
        if (button.id == 0) {
            m_wndToolBar->addSeparator();
            continue;
        }
        QAction *action = GetAction(button.id);
        action->setStatusTip(Text(button.prompt));
        action->setToolTip(Text(button.tip));
        action->setIcon(button.icon[0] == '@' ? LetterIcon(Text(button.icon + 1), m_wndToolBar->iconSize())
                                              : ToolIcon(button.icon, button.themeIcon));
        m_wndToolBar->addAction(action);
        if (button.id == ID_LINE_MENU) {
            auto *menu = new QMenu(this);
            for (int id : {ID_LINE_DTR, ID_LINE_RTS, ID_LINE_BREAK})
                menu->addAction(GetAction(id));
            connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUI);
            action->setMenu(menu);
            auto *tool = static_cast<QToolButton *>(m_wndToolBar->widgetForAction(action));
            tool->setPopupMode(QToolButton::InstantPopup);
            tool->setStyleSheet(QStringLiteral("QToolButton { padding: 0px; } QToolButton::menu-indicator { image: none; width: 0px; }"));
            tool->setIconSize(QSize(12, m_wndToolBar->iconSize().height()));
            action->setIcon(LetterIcon(QStringLiteral("DTR\nRTS"), tool->iconSize()));
            tool->setFixedWidth(14);
        }
    }
    addToolBar(Qt::TopToolBarArea, m_wndToolBar);
}

void CMainFrame::CreateStatusBar()
{
    m_wndStatusBar = statusBar();
    m_wndStatusBar->setSizeGripEnabled(true);
    // A normal widget: a command's prompt covers it while the pointer is over the command.
    m_pMessagePane = new QLabel(Text("ﾚﾃﾞｨ"), m_wndStatusBar);
    m_pMessagePane->setMinimumWidth(m_pMessagePane->sizeHint().width());
    m_wndStatusBar->addWidget(m_pMessagePane);
    // Beside the message pane: the connection in words. It takes all the room the other panes do not
    // need and steps aside while a command's prompt shows, which then has the width up to the
    // indicators.
    m_pConnectionPane = new CElidedLabel(m_wndStatusBar);
    m_pConnectionPane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_pConnectionPane->setAccessibleName(Text("接続状態"));
    m_wndStatusBar->addPermanentWidget(m_pConnectionPane, 1);
    connect(m_wndStatusBar, &QStatusBar::messageChanged, m_pConnectionPane,
            [pane = m_pConnectionPane](const QString &message) { pane->setVisible(message.isEmpty()); });
    connect(m_pView, &CQnView::ConnectionChanged, m_pConnectionPane, &CElidedLabel::SetFullText);
    connect(m_pView, &CQnView::ConnectionWarningChanged, m_pConnectionPane, [pane = m_pConnectionPane](bool warning) {
        pane->setStyleSheet(warning ? QStringLiteral("background-color: #FFA500;") : QString());
    });
    for (const auto &[id, text] : kIndicators) {
        auto *pane = new QLabel(Text(text), m_wndStatusBar);
        pane->setAlignment(Qt::AlignCenter);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(pane->text()) + 8);
        pane->setEnabled(false);  // lit while the lock is on
        m_wndStatusBar->addPermanentWidget(pane);
        m_indicators[id] = pane;
    }
}

void CMainFrame::SetRecentFiles(const QStringList &menuTexts)
{
    for (int i = 0; i < ID_FILE_MRU_COUNT; ++i) {
        QAction *action = GetAction(ID_FILE_MRU_FILE1 + i);
        if (menuTexts.isEmpty()) {
            action->setText(i == 0 ? Text("最新のﾌｧｲﾙ") : QString());
            action->setVisible(i == 0);
        } else {
            action->setText(menuTexts.value(i));
            action->setVisible(i < menuTexts.size());
        }
    }
    m_nRecentCount = static_cast<int>(qMin<qsizetype>(menuTexts.size(), ID_FILE_MRU_COUNT));
    UpdateCommandUI();
}

bool CMainFrame::IsApplicationCommand(int id)
{
    if (id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + ID_FILE_MRU_COUNT)
        return true;
    switch (id) {
    case ID_FILE_NEW:
    case ID_FILE_OPEN:
    case ID_FILE_SAVE:
    case ID_FILE_SAVE_AS:
    case ID_APP_ABOUT:
    case ID_APP_EXIT:
        return true;
    default:
        return false;
    }
}

void CMainFrame::OnCommand(int id)
{
    if (id == ID_NEXT_PANE || id == ID_PREV_PANE)
        OnNextPane(id == ID_NEXT_PANE ? 1 : -1);
    else if (IsApplicationCommand(id))
        emit AppCommand(id);
    else if (id == ID_RELAY)
        OpenRelayWindow();
    else
        m_pView->OnCommand(id);
    UpdateCommandUI();
}

void CMainFrame::OpenRelayWindow()
{
    if (!m_pRelayWnd)
        m_pRelayWnd = new CRelayWnd(m_pView->GetDocument(), this);
    if (!m_pRelayWnd->IsRunning())
        m_pRelayWnd->LoadFromDocument();  // the document may have changed since
    m_pRelayWnd->show();
    m_pRelayWnd->raise();
}

void CMainFrame::UpdateCommandUI()
{
    for (const auto &[id, action] : m_actions) {
        if (id >= ID_FILE_MRU_FILE1 && id < ID_FILE_MRU_FILE1 + ID_FILE_MRU_COUNT) {
            // Recent files open in any state; only the empty list's place-holder is greyed.
            action->setEnabled(id - ID_FILE_MRU_FILE1 < m_nRecentCount);
            continue;
        }
        const bool enabled = id == ID_RELAY || m_pView->IsCommandEnabled(id);
        action->setEnabled(enabled);
        // A tool bar command disabled for a reason the user can change says so in its tips.
        if (const ToolButton *button = FindToolButton(id)) {
            const QString reason = enabled ? QString() : m_pView->DisabledReason(id);
            action->setStatusTip(reason.isEmpty() ? Text(button->prompt) : reason);
            action->setToolTip(reason.isEmpty() ? Text(button->tip) : reason);
        }
        if (action->isCheckable())
            action->setChecked(m_pView->IsCommandChecked(id));
    }
}

void CMainFrame::OnNextPane(int step)
{
    const int count = m_wndSplitter->count();
    if (count == 0)
        return;
    int current = -1;
    for (int i = 0; i < count; ++i) {
        QWidget *pane = m_wndSplitter->widget(i);
        if (pane->isAncestorOf(focusWidget()) || pane == focusWidget())
            current = i;
    }
    const int next = current < 0 ? 0 : (current + step + count) % count;
    m_wndSplitter->widget(next)->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::UpdateIndicators(quint32 nativeModifiers)
{
    GetIndicator(ID_INDICATOR_CAPS)->setEnabled(nativeModifiers & kX11LockMask);
    GetIndicator(ID_INDICATOR_NUM)->setEnabled(nativeModifiers & kX11NumLockMask);
}

bool CMainFrame::eventFilter(QObject *watched, QEvent *event)
{
    // Only X11 reports the lock state with each key; elsewhere the panes stay unlit.
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease)
        && QGuiApplication::platformName() == QLatin1String("xcb"))
        UpdateIndicators(static_cast<QKeyEvent *>(event)->nativeModifiers());
    return CPersistentFrame::eventFilter(watched, event);
}

void CMainFrame::closeEvent(QCloseEvent *event)
{
    if (m_fnQueryClose && !m_fnQueryClose()) {
        event->ignore();
        return;
    }
    CPersistentFrame::closeEvent(event);
    if (event->isAccepted())
        emit Closed();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.constFirst().isLocalFile())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.constFirst().isLocalFile())
        return;
    event->acceptProposedAction();
    emit FileDropped(urls.constFirst().toLocalFile());
}
