// The main window's one view and the session controller: it owns the connection, the tool windows
// and the capture file, and runs every session event through its state matrix.
#pragma once

#include "display/ctracetelegram.h"
#include "display/ui/ccolorstatic.h"
#include "net/cendpoint.h"
#include "platform/cmsgwnd.h"
#include "platform/cnamelookup.h"
#include "session/cchannelparser.h"
#include "session/cchannelvalues.h"
#include "session/ccommandstep.h"
#include "session/creplymatcher.h"
#include "session/creconnectschedule.h"
#include "session/creplyruletable.h"
#include "session/ctrafficstats.h"

#include <QFile>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimer>
#include <QWidget>

#include <array>
#include <chrono>
#include <map>
#include <memory>

class CBatchRunner;
class CBatchSendDlg;
class CClientListDlg;
class CCommandPanelWnd;
class CCommandSendDlg;
class CEndpoint;
class CMessageWnd;
class CQnDoc;
class CSequenceRunner;
class CStatsWnd;
class CPlotWnd;
class QPainter;
class QPrinter;

class CQnView final : public CMsgWnd<QWidget>
{
    Q_OBJECT
public:
    explicit CQnView(QWidget *parent = nullptr);
    ~CQnView() override;

    // Called after every New and Open with the document now shown; the first call also builds the
    // labels, the endpoints and the message windows.
    void OnInitialUpdate(CQnDoc *document);
    CQnDoc *GetDocument() const { return m_pDocument; }

    // The one enable rule of every command the frame shows; ids the rule does not name are enabled.
    bool IsCommandEnabled(int id) const;
    // Why a disabled command is disabled, when the user can change that (empty otherwise).
    QString DisabledReason(int id) const;
    // The two loopback items are checked exactly when they are disabled.
    bool IsCommandChecked(int id) const;
    // Runs a command of the view (the session's commands and printing). Everything else reaches the
    // session as a WM_SESSION_EVENT message, through the state matrix.
    void OnCommand(int id);

    // Prints the drawing at the size it has on the screen; false when the printer cannot start.
    bool PrintOn(QPrinter *printer) const;

    // Read access for the frame, the batch window and tests.
    SessionState State() const { return m_nState; }
    ConnectionType SocketType() const { return m_nSocketType; }
    int Loopback() const { return m_bLoopback; }
    bool IsCapturing() const { return m_fileCapture.isOpen(); }
    // The batch send window exists (the one place that decides it).
    bool IsBatchWindowOpen() const;
    // The runner the view serves: one attached for a run without a window, else the batch window's
    // while that window exists; null when there is none. Prompts are judged only while there is one.
    CBatchRunner *BatchRunner() const;
    void AttachBatchRunner(CBatchRunner *runner) { m_pAttachedRunner = runner; }
    bool IsCommandWindowOpen() const;
    // Command sequences (cqnview_sequences.cpp): the runner told of every block received (null: none),
    // and a sequence's telegram sent now on the open connection (a server of many: to Command Send's
    // choice of client), with its History and Log lines; false when not connected or refused.
    void AttachSequenceRunner(CSequenceRunner *runner) { m_pSequenceRunner = runner; }
    bool SendSequenceTelegram(const QByteArray &bytes, const QString &name);
    // The History's selected telegrams (all without a selection) as a new sequence of the ｺﾏﾝﾄﾞ一覧,
    // kept in the document; its name ("記録1", …), or empty when there was nothing to record.
    QString RecordHistorySequence();
    // A peer is there to send to (a server: a client has connected).
    bool HasPeer() const;
    // The "ｺﾏﾝﾄﾞ一覧" window, which holds the document's commands.
    CCommandPanelWnd *CommandPanel() const { return m_pCommandPanel.get(); }
    // Asked before the main window closes: a running batch is aborted only if the user agrees.
    bool CanCloseFrame();
    CMessageWnd *LogWindow() const { return m_pLogWnd.get(); }
    CMessageWnd *HistoryWindow() const { return m_pHistoryWnd.get(); }
    CCommandSendDlg *CommandWindow() const { return m_pCommandDlg.get(); }
    CBatchSendDlg *BatchWindow() const { return m_pBatchDlg.get(); }
    CStatsWnd *StatsWindow() const { return m_pStatsWnd.get(); }
    // The list of a server's clients, once Command Send has opened it (null before).
    CClientListDlg *ClientList() const { return m_pClientList.get(); }

    // The connection in words for the status bar (cqnview_status.cpp): type and endpoint, the reason
    // of a failed connect while disconnected, the peer's close while still connected.
    QString ConnectionText() const { return m_strConnection; }
    // The connection pane's text wants the warning colour (a TLS server not verified).
    bool ConnectionWarning() const { return m_bConnectionWarning; }
    // Reply rules: the document's table as in use.
    const CReplyRuleTable &ReplyRules() const { return m_replyRules; }
    // Takes a new table (the dialog's OK): into the document, which is marked modified, and into use.
    void SetReplyRules(const CReplyRuleTable &table);
    // Delayed replies still waiting for their timer.
    int PendingReplies() const;
    // What went over the connection, counted where the History learns of telegrams.
    const CTrafficStats &Traffic() const { return m_traffic; }
    CTrafficStats &Traffic() { return m_traffic; }
    // The open endpoint's queue and drop figures (all unknown while none is open).
    CEndpoint::Gauges EndpointGauges() const;
    // Value channels (cqnview_channels.cpp): the document's table, and the values read from the
    // telegrams sent and received since it was taken.
    const CChannelTable &Channels() const { return m_channelTable; }
    // Takes a new table (the dialog's OK): into the document, which is marked modified, and into use.
    void SetChannels(const CChannelTable &table);
    const CChannelValues &ChannelValues() const { return m_channelValues; }
    CChannelValues &ChannelValues() { return m_channelValues; }
    // A serial line's control lines (cqnview_lines.cpp): a serial line is connected; DTR or RTS set
    // to `value` or a break of `value` ms (0: the line's length) sent, with its Log line; false with
    // the reason. `lastsMs`: how long the break lasts.
    bool HasLineControls() const;
    bool ControlLine(CCommandStep::Action action, int value, int *lastsMs, QString *why);
    // The lamps of DTR, RTS, CTS, DSR, DCD and RI, in that order.
    const CColorStatic &LineLamp(int i) const { return m_lineLamps[size_t(i)]; }
    // The ｸﾞﾗﾌ window, once opened (null before).
    CPlotWnd *PlotWindow() const { return m_pPlotWnd.get(); }
    // Reconnect by itself: waiting for the next attempt (or in one), and the attempts of the series.
    bool IsReconnectWaiting() const { return m_bReconnectWaiting; }
    int ReconnectTries() const { return m_nReconnectTries; }

Q_SIGNALS:
    // The enabled or checked state of some command may have changed.
    void CommandStateChanged();
    // ConnectionText() has changed.
    void ConnectionChanged(const QString &text);
    void ConnectionWarningChanged(bool warning);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // A notice of no socket the endpoint has open now.
    bool IsStaleNotice(std::uint64_t serial) const override;
    void OnTimer(int id) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // Tests reach the entries no user action can reach through it (tests/support/sessionprobe.h).
    friend class SessionProbe;

    void OnFirstInitialUpdate();
    void OnChildClose(ToolWindowKind kind);
    void OpenStatsWindow();
    // The view's drawing: `area` filled with the button face colour.
    void OnDraw(QPainter *painter, const QRect &area) const;

    // Session event matrix (cqnview_matrix.cpp): every WM_SESSION_EVENT comes here.
    LRESULT OnSessionEvent(WPARAM event, LPARAM param);
    SessionState ConnectedState() const { return m_bLoopback == 1 ? ST_CONNECTED_LOOPBACK : ST_CONNECTED; }
    // Appends text + " [CQnView]" to the Log window.
    void AddLog(const QString &text);
    void LogIgnored();
    void LogMatrixError();

    // Connection control (cqnview_connection.cpp): the matrix's actions and the settings commands.
    int SocketConnect();
    void SocketDisconnect();
    // Makes the endpoint of `type` unless the view holds it already.
    void UseEndpointFor(ConnectionType type);
    // The document's settings of the connection type in use, in slot order (none without a document).
    QStringList EndpointSettings() const;
    // The matrix's connect: with a host name, once it has been looked up off this thread.
    void DoConnect();
    void OpenConnection();
    void DoDisconnect();
    void DoConnectDone(LPARAM param);
    void DoSetType(ConnectionType type);
    void ShowStatus(SessionState state);
    void ShowType(ConnectionType type);
    void OnSocketSettings();
    void OnSocketType();
    // Enables "送信" of the Command Send window by the rule for its id.
    void RefreshSendButton();

    // Transmission path (cqnview_transmission.cpp).
    int SendData(const unsigned char *data, int length);
    int ReceiveData(unsigned char *buffer, int maximum);
    void LightLamp(CColorStatic &lamp, int timer, std::chrono::steady_clock::time_point &lit);
    void PutOutLamp(CColorStatic &lamp, int timer, std::chrono::steady_clock::time_point lit);
    int JudgePrompt(unsigned char *buffer, int length);
    // False when the endpoint did not take the telegram.
    bool DoSend();
    // The History's prefix of a received ('R') or sent ('S') telegram, naming the client of a
    // server of many.
    QString HistoryPrefix(char16_t direction) const;
    // Command Send's choice of clients, while a server of many serves.
    void RefreshSendTargets();
    void DoReceive();
    void DoReceiveEcho();
    // A log line's view of a telegram: the hex digits of its first bytes, " +α" when there are more.
    static QString LogTelegramText(const unsigned char *data, int length);
    // The History and Log lines of a received block.
    // `kept`: the block's bytes already copied for the History (KeptBytesBuffer), or empty.
    void RecordReceived(int length, const QByteArray &kept);
    // The telegram read last is the endpoint's own send come back: nothing answers it.
    bool ReceivedOwnSend() const;

    // Reply rules (cqnview_replies.cpp).
    void OnReplyRules();
    // Reads the document's rule table; a damaged one is logged once.
    void LoadReplyRules();
    void LoadChannels();
    void OpenPlotWindow();
    void OnChannels();
    void UseChannels();
    void FeedChannels(char direction, const unsigned char *data, int length);
    // The number of the rule that answers the received block, 0 for none (or rules not in use).
    // The rule that answers the received block (0: none); fills `kept` for the History on the way.
    int MatchReplyRule(int length, QByteArray *kept) const;
    // Sends rule `number`'s reply now or arms its timer.
    // Answers the block of `length` bytes in the receive buffer with rule `number`: its parts now
    // or on timers.
    void ReplyByRule(int number, int length);
    // Sends rule `number`'s `reply` after `ms` on a timer, within the bounds of what may wait.
    void ArmRuleReply(int number, const QByteArray &reply, int ms);
    // Builds and sends (or arms) rule `number`'s answer in `context`; false when it cannot be built.
    bool AnswerByRule(int number, CReplyTemplate::Context context, int delay);
    // Runs the periodic rules' timers while connected with rules on, and stops them otherwise;
    // `restart` after the rules changed.
    void RefreshPeriodicReplies(bool restart = false);
    void SendPeriodicReply(int number);
    // The rules' state of the peer a reply goes to (a server of many clients: per client).
    QString &ReplyState();
    void SendRuleReply(int number, const QByteArray &reply);
    // Ends every delayed reply still waiting: it answers a connection that is going or gone.
    void CancelPendingReplies();
    void ForgetPendingReply(qsizetype bytes);

    // Received-data capture (cqnview_capture.cpp).
    void OnCaptureStart();
    // Closes the capture file with what was written and refreshes the commands; nothing when no
    // capture runs.
    void StopCapture();
    void WriteCapture(const unsigned char *data, int length);
    // A server of many clients: the file of the client that sent, opened the first time it sends
    // (null when it cannot be opened).
    QFile *ClientCaptureFile(int client);
    // Stops capturing and says why once the receive event has been handled.
    void CaptureFailed(const QString &text);

    // Tool windows (cqnview_commands.cpp, cqnview_batch.cpp).
    void OpenToolWindow(ToolWindowKind kind);
    void OnBatchSend();
    // The batch send window: everything the view does with it.
    void PostToBatchWindow(SessionEvent event);
    void OpenBatchWindow();
    void CloseBatchWindow();
    const unsigned char *BatchTelegram(int *length) const;
    // The telegram prepared by the batch window when it is open, else by the Command Send window.
    const unsigned char *OutgoingTelegram(int *length) const;

    void OnFilePrint(bool withDialog);
    void OnFilePrintPreview();
    QPrinter *Printer();
    // What the connection pane watches: the events the matrix handles and the peer's comings and goings.
    void EndConnectionNote(SessionEvent event, SessionState stateBefore, LPARAM param = 0);
    void NotePeerChanged();
    // The one-client TCP server: the traffic counts start again with each client, not with the listen.
    bool CountsEachClient() const;
    // The document's type may serve many peers and its settings ask for it.
    bool ManyPeersSet() const;
    // For the traffic counts: the client of a server of many that sent the telegram read last (0:
    // the one peer), and those the next send goes to (empty: the one peer).
    int TrafficPeer() const;
    QList<int> TrafficPeers() const;
    void ScheduleConnectionRefresh();
    void RefreshConnection();
    QString DescribeConnection() const;

    // Reconnect by itself (cqnview_reconnect.cpp): a connection that ended by itself (a device gone,
    // a peer that closed or refused) is tried again on a schedule while the document asks for it.
    // The Log has one line when a series starts and one when it ends; the attempts write none.
    bool ReconnectWanted() const;
    // After the peer's close: the connection goes as at 切断, then the series starts.
    void ReconnectAfterClose();
    void StartReconnect(const QString &reason);
    void ScheduleReconnect();
    void TryReconnect();
    void OpenForReconnect();
    // The outcome of an attempt: connected, or failed (the next is scheduled).
    void ReconnectOpened();
    void ReconnectFailed();
    // Ends the series without a connection (切断, a type change, a batch run), with its Log line.
    void StopReconnect();
    QString ReconnectText() const;

    // Destroyed in the reverse of this order: the capture file first, then the endpoint and the
    // tool windows, and last the labels, the font and the buffers that the others point into.
    std::unique_ptr<unsigned char[]> m_pRecvBuf;
    std::unique_ptr<char[]> m_pLogBuf;
    CQnDoc *m_pDocument = nullptr;  // the application's document; not owned
    QFont m_fontView;
    CColorStatic m_stStatus;
    CColorStatic m_stType;
    CColorStatic m_stRecvLamp;
    CColorStatic m_stSendLamp;
    // When each lamp was last lit: a lamp goes out kLampMilliseconds after its last telegram, and
    // a telegram while it is lit only moves this time (no timer is restarted per telegram).
    std::chrono::steady_clock::time_point m_recvLampLit;
    std::chrono::steady_clock::time_point m_sendLampLit;
    std::array<CColorStatic, CEndpoint::kModemLineCount> m_lineLamps;  // shown for a serial line
    void CreateLineLamps();
    void RefreshLineLamps();
    void OnModemLines(int changed, int lines, qint64 when);
    void OnLineCommand(int id);
    bool m_bInitialised = false;
    ConnectionType m_nSocketType = TYPE_UDP;
    int m_bLoopback = 0;
    SessionState m_nState = ST_DISCONNECTED;
    int m_bPromptHit = 0;
    std::unique_ptr<CMessageWnd> m_pHistoryWnd;
    std::unique_ptr<CMessageWnd> m_pLogWnd;
    std::unique_ptr<CBatchSendDlg> m_pBatchDlg;
    std::unique_ptr<CCommandSendDlg> m_pCommandDlg;
    std::unique_ptr<CEndpoint> m_pEndpoint;  // of m_nSocketType; made by UseEndpointFor
    std::unique_ptr<QPrinter> m_pPrinter;
    QString m_strCaptureFile;
    QFile m_fileCapture;  // open exactly while a capture runs
    // With the capture, a file per client of a server of many clients ("name#3.bin"), if asked for.
    bool m_bCapturePerClient = false;
    std::map<int, std::unique_ptr<QFile>> m_clientCaptures;

    // The connection pane (cqnview_status.cpp).
    QString m_strConnection;
    bool m_bConnectionWarning = false;
    QString m_strConnectError;   // while disconnected after a failed connect
    CNameLookup m_nameLookup;    // running while a connect waits for its host name
    bool m_bNameUnresolved = false;  // the connect being ended failed for a name that does not resolve
    bool m_bRefreshPending = false;
    CReconnectSchedule m_reconnectSchedule;
    QTimer m_reconnectTimer;      // the next attempt
    QTime m_reconnectDue;         // its time of day, for the pane
    bool m_bReconnectWaiting = false;
    bool m_bReconnectAttempt = false;  // an attempt is under way: the endpoint's Log lines are not written
    int m_nReconnectTries = 0;
    CBatchRunner *m_pAttachedRunner = nullptr;  // not owned
    CSequenceRunner *m_pSequenceRunner = nullptr;  // not owned
    void TapSequenceRunner(int length);
    void LoadCommands();
    void OpenCommandPanel();
    std::unique_ptr<CCommandPanelWnd> m_pCommandPanel;
    CReplyRuleTable m_replyRules;
    CReplyMatcher m_replyMatcher;
    bool m_bReplyActive = false;
    QObject m_replyTimers;  // parent of the delayed replies' timers
    // Bounds of what delayed replies may hold; a reply past them is dropped and said once in the Log.
    static constexpr int kMaxPendingReplies = 1024;
    static constexpr qsizetype kMaxPendingReplyBytes = 64 * 1024 * 1024;
    qsizetype m_nPendingReplyBytes = 0;
    bool m_bPendingReplyDropped = false;
    // The holding rule's pattern groups or `??` bytes, for its placeholders.
    mutable QList<QByteArray> m_replyGroups;
    // Each rule's answers on the connection (a server of many clients: per client), for ${seq}.
    std::map<int, std::array<quint32, CReplyMatcher::kMaxRules>> m_ruleAnswers;
    quint64 m_nRuleFailuresSaid = 0;  // rules whose reply could not be built, said once each
    std::map<int, QString> m_replyStates;  // by peer (0: the one peer), empty at each connect
    QObject m_periodicTimers;  // parent of the periodic rules' timers while they run
    CTrafficStats m_traffic;
    CChannelTable m_channelTable;
    CChannelParser m_channelParser;
    CChannelValues m_channelValues;
    std::unique_ptr<CPlotWnd> m_pPlotWnd;  // after the values it reads
    std::unique_ptr<CStatsWnd> m_pStatsWnd;  // after the counts it reads
    std::unique_ptr<CClientListDlg> m_pClientList;
    void OpenClientList();

    // Packet traces (cqnview_trace.cpp): the History learns each telegram's connection from here.
    void ConnectTrace();
    QList<CTraceTelegram> TraceOrigin(char direction);
    int m_nTraceRule = 0;  // the rule answering the block being recorded (0: none)
    CEndpoint::TraceEnds m_lastTraceEnds;  // of the telegram traced last, for one whose socket is gone
    int m_nLastTracePeer = -1;
};
