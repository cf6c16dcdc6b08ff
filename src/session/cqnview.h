// The main window's one view and the session controller: it owns the connection, the tool windows
// and the capture file, and runs every session event through its state matrix.
#pragma once

#include "display/ccolorstatic.h"
#include "platform/cmsgwnd.h"
#include "session/creplymatcher.h"
#include "session/creplyruletable.h"

#include <QFile>
#include <QFont>
#include <QString>
#include <QWidget>

#include <memory>

class CBatchSendDlg;
class CCommandSendDlg;
class CMessageWnd;
class CQnDoc;
class CTCPSoc;
class CTCPSrvr;
class CUDPWnd;
class QPainter;
class QPrinter;

class CQnView : public CMsgWnd<QWidget>
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
    // The two loopback items are checked exactly when they are disabled.
    bool IsCommandChecked(int id) const;
    // Runs a command of the view (the session's commands and printing).
    void OnCommand(int id);

    // The view's drawing: `area` filled with the button face colour.
    void OnDraw(QPainter *painter, const QRect &area) const;
    // Prints the drawing at the size it has on the screen; false when the printer cannot start.
    bool PrintOn(QPrinter *printer) const;

    // Session event matrix.
    LRESULT OnSessionEvent(WPARAM event, LPARAM param);
    int ConnectedState() const { return m_bLoopback == 1 ? ST_CONNECTED_LOOPBACK : ST_CONNECTED; }
    // Appends text + " [CQnView]" to the Log window.
    void AddLog(const QString &text);

    // Connection control.
    int SocketConnect();
    void SocketDisconnect();
    void DoConnect();
    void DoDisconnect();
    void DoConnectDone(LPARAM param);
    void DoSetType(int type);
    void ShowStatus(int state);
    void ShowType(int type);
    void OnSocketSettings();
    void OnSocketType();
    // The C library's reading of a decimal text: blanks, an optional sign, digits up to the first other.
    static int DecimalValue(const QString &text);
    // The Log line of a UDP or TCP client connect (before " [CQnView]").
    static QString ConnectLogText(int type, const QString &address, int port, int ownPort);

    // Transmission path.
    int SendData(const unsigned char *data, int length);
    int ReceiveData(unsigned char *buffer, int maximum);
    int JudgePrompt(unsigned char *buffer, int length);
    void DoSend();
    void DoReceive();
    void DoReceiveEcho();

    // Reply rules: the table of the document, the answer to a received block, the edit dialog.
    const CReplyRuleTable &ReplyRules() const { return m_replyRules; }
    // Takes a new table (from the dialog): into the document, which is marked modified, and into use.
    void SetReplyRules(const CReplyRuleTable &table);
    void OnReplyRules();
    // Delayed replies still waiting for their timer.
    int PendingReplies() const;

    // Received-data capture.
    void OnCaptureStart();
    void OnCaptureStop();

    // Tool windows: 1 Command Send, 2 Log, 3 History, 4 batch send.
    void OpenToolWindow(int kind);
    void OnBatchSend();
    // The batch send window exists (the one place that decides it).
    bool IsBatchWindowOpen() const;
    bool IsCommandWindowOpen() const;
    // Asked before the main window closes: a running batch is aborted only if the user agrees.
    bool CanCloseFrame();

    // Read access for the frame, the batch window and tests.
    int State() const { return m_nState; }
    int SocketType() const { return m_nSocketType; }
    int Loopback() const { return m_bLoopback; }
    bool IsCapturing() const { return m_bCapture != 0; }
    QString CaptureFile() const { return m_strCaptureFile; }
    CMessageWnd *LogWindow() const { return m_pLogWnd; }
    CMessageWnd *HistoryWindow() const { return m_pHistoryWnd; }
    CCommandSendDlg *CommandWindow() const { return m_pCommandDlg; }
    CBatchSendDlg *BatchWindow() const { return m_pBatchDlg; }
    const CColorStatic &StatusLabel() const { return m_stStatus; }
    const CColorStatic &TypeLabel() const { return m_stType; }
    const CColorStatic &ReceiveLamp() const { return m_stRecvLamp; }
    const CColorStatic &SendLamp() const { return m_stSendLamp; }
    CTCPSrvr *TcpServer() const { return m_pTcpSrvr; }
    CUDPWnd *UdpEndpoint() const { return m_pUdpWnd; }
    CTCPSoc *TcpClient() const { return m_pTcpClient; }

Q_SIGNALS:
    // The enabled or checked state of some command may have changed.
    void CommandStateChanged();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(int id) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void OnFirstInitialUpdate();
    void OnChildClose(int kind);
    // A notice from a socket (`serial` not 0) that no longer exists.
    bool IsStaleNotice(std::uint64_t serial) const;
    void LogIgnored();
    void LogMatrixError();
    // Enables "送信" of the Command Send window by the rule for its id.
    void RefreshSendButton();
    // The batch send window: everything the view does with it.
    void PostToBatchWindow(int event);
    void OpenBatchWindow();
    void CloseBatchWindow();
    void DeleteBatchWindow();
    const unsigned char *BatchTelegram(int *length) const;
    // The telegram prepared by the batch window when it is open, else by the Command Send window.
    const unsigned char *OutgoingTelegram(int *length) const;
    // " +α" when the telegram is longer than the part shown in a log line.
    static QString LogTelegramText(const QByteArray &hex, int length);
    void WriteCapture(const unsigned char *data, int length);
    // Reads the document's rule table; a damaged one is logged once.
    void LoadReplyRules();
    // The number of the rule that answers the received block, 0 for none (or rules not in use).
    int MatchReplyRule(int length) const;
    // Sends rule `number`'s reply now or arms its timer.
    void ReplyByRule(int number);
    void SendRuleReply(int number, const QByteArray &reply);
    // Ends every delayed reply still waiting (the connection is going away).
    void CancelPendingReplies();
    // The History and Log lines of a received block.
    QByteArray RecordReceived(int length);
    void OnFilePrint(bool withDialog);
    void OnFilePrintPreview();
    QPrinter *Printer();

    // Members in the order the session keeps them.
    CTCPSoc *m_pTcpClient = nullptr;
    CTCPSrvr *m_pTcpSrvr;
    CQnDoc *m_pDocument = nullptr;
    QFont m_fontView;
    CUDPWnd *m_pUdpWnd;
    CColorStatic m_stStatus;
    CColorStatic m_stType;
    CCommandSendDlg *m_pCommandDlg;
    CMessageWnd *m_pLogWnd;
    CMessageWnd *m_pHistoryWnd;
    CBatchSendDlg *m_pBatchDlg;
    QString m_strCaptureFile;
    QFile m_fileCapture;
    CColorStatic m_stRecvLamp;
    CColorStatic m_stSendLamp;
    bool m_bInitialised = false;
    int m_nSocketType = TYPE_UDP;
    int m_bLoopback = 0;
    int m_nState = ST_DISCONNECTED;
    int m_bCapture = 0;
    int m_bPromptHit = 0;
    std::unique_ptr<unsigned char[]> m_pRecvBuf;
    std::unique_ptr<char[]> m_pLogBuf;

    std::unique_ptr<QPrinter> m_pPrinter;
    CReplyRuleTable m_replyRules;
    CReplyMatcher m_replyMatcher;
    bool m_bReplyActive = false;
    QObject m_replyTimers;  // parent of the delayed replies' timers
};
