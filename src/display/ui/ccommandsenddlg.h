// The Command Send window: the user types one telegram as hex digits or text and the view sends it.
#pragma once

#include "display/clineend.h"
#include "display/crepeatsend.h"
#include "display/ui/cinputedit.h"
#include "platform/cmsgwnd.h"
#include "platform/qnwin.h"
#include "platform/prompts.h"

#include <QByteArray>
#include <QDialog>
#include <QElapsedTimer>
#include <QFont>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <initializer_list>
#include <memory>
#include <vector>

class CCommandSendDlg : public CMsgWnd<QDialog>
{
    Q_OBJECT
public:
    static constexpr int IDD = 136;
    static constexpr int IDC_INPUT = 1;
    static constexpr int IDC_SEND = 1004;
    static constexpr int IDC_CAPTION = 1008;
    static constexpr int IDC_SEND_TEXT = 1017;
    static constexpr int IDC_CLEAR = 1039;
    static constexpr int IDC_WRITE_FILE = 1041;
    static constexpr int IDC_READ_FILE = 1042;
    // The send tools under the input: checksum, repeated sends and their sequence number.
    static constexpr int IDC_CHECKSUM_ON = 1101;
    static constexpr int IDC_CHECKSUM_RULE = 1102;
    static constexpr int IDC_REPEAT_ON = 1103;
    static constexpr int IDC_REPEAT_INTERVAL = 1104;
    static constexpr int IDC_REPEAT_COUNT = 1105;
    static constexpr int IDC_REPEAT_COUNTER = 1106;
    static constexpr int IDC_SEQUENCE_ON = 1107;
    static constexpr int IDC_SEQUENCE_OFFSET = 1108;
    static constexpr int IDC_SEQUENCE_BYTES = 1109;
    static constexpr int IDC_SEQUENCE_ORDER = 1110;
    static constexpr int IDC_PEER = 1111;
    static constexpr int IDC_PEER_LIST = 1112;
    static constexpr int IDC_LINE_END = 1113;
    // Characters taken from one input line, for the telegram and for a written file.
    static constexpr int kLineChars = 1024;

    CCommandSendDlg();
    ~CCommandSendDlg() override;

    // Builds and shows the window for `view` (the receiver of its messages); FALSE when it exists.
    BOOL Create(QObject *view, int kind);
    // Hides the window and destroys its controls; the typed text goes, m_bSendText and the telegram stay.
    void DestroyWindow();
    bool HasWindow() const { return m_bWindow; }

    // A control of the window by its id (null without a window).
    QWidget *GetDlgItem(int id) const;
    // The view's enable rule for "送信"; a repetition stops when sending becomes impossible.
    void EnableSend(bool enable);
    // The view has handled the telegram posted last (`sent`: the endpoint took it). A repetition
    // posts its next telegram only after this, and stops when a send failed.
    void SendDone(bool sent);
    bool IsRepeating() const { return m_repeat.IsRunning(); }
    // A server of many clients serves `peers` (their numbers): "送信先" offers every client or one.
    // Hidden when `many` is false.
    void SetPeers(bool many, const QList<int> &peers);
    // The client 送信 sends to: 0 every one.
    int PeerTarget() const { return m_nPeerTarget; }
    // "行末": what goes after a text telegram (hex telegrams go as typed). The document keeps it: the
    // view sets it, and hears of the user's change.
    void SetLineEnd(CLineEnd::Kind kind);
    CLineEnd::Kind LineEnd() const { return m_tools.lineEnd; }

Q_SIGNALS:
    void LineEndChanged(CLineEnd::Kind kind);
    // "一覧..." beside 送信先: the user wants the list of clients.
    void ClientListAsked();

public:
    CInputEdit *Input() const { return m_pInput; }
    // Under the input: what "送信" will send ("n ﾊﾞｲﾄ"), and in red why a hex text cannot be sent
    // (the character refused and its place; "送信" is disabled meanwhile) and other warnings.
    // Brought up to date at most every kByteLineDelayMs.
    QLabel *ByteLine() const { return m_pByteLine; }
    QLabel *NonHexLine() const { return m_pNonHexLine; }
    static constexpr int kByteLineDelayMs = 100;
    // The telegram "送信" prepared last, and its length in bytes.
    const unsigned char *Telegram(int *length) const
    {
        *length = qBound(0, m_nSendLen, QN_BUFFER_SIZE);
        return m_pSendBuf.get();
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Esc and the close box ask the view to close the window (it never closes itself on them);
    // only a close the program starts, such as quitting, is let through.
    void reject() override;
    void accept() override {}
    void closeEvent(QCloseEvent *event) override;

private:
    void OnInitDialog();
    void OnSend();
    void OnWriteFile();
    void OnReadFile();
    // Posts `telegram` to the view as the one "送信" prepared.
    void PostTelegram(const QByteArray &telegram);
    // Sends with the checksum and repetition as set; false when they refuse (the user is told).
    bool SendWithTools(const QByteArray &typed);
    // The checksum rule while "ﾁｪｯｸｻﾑ付加" is on (null: off, or with `error` set: no rule).
    std::shared_ptr<const CChecksumRule> ChecksumRule(QString *error) const;
    CRepeatSend::Sequence Sequence() const;
    // The send tools' rows under the byte line, one function a row; each keeps its choices in m_tools.
    void CreateSendTools();
    void CreateChecksumRow();
    void CreateRepeatRow();
    void CreateSequenceRow();
    void CreateLineEndRow();
    // A text telegram with the line end after it, within the send buffer.
    QByteArray WithLineEnd(QByteArray telegram) const;
    // Adds a row of `controls` under the last one; the window grows by it.
    QWidget *AddToolRow(std::initializer_list<QWidget *> controls);
    // The byte line is brought up to date within kByteLineDelayMs.
    void RefreshByteLineSoon();
    void OnRepeatTick();
    void StopRepeat(const QString &why);
    void UpdateRepeatCounter();
    // Assembles the telegram; returns its length (0: the input is empty).
    int BuildTextTelegram();
    int BuildHexTelegram();
    // The telegram of text mode (lines joined by CR LF, cut to the buffer), and the hex text that
    // hex mode decodes (lines joined directly), both in code page 932.
    QByteArray TextTelegram() const;
    // The telegram of hex mode, decoded from the lines joined directly; false with the reason for
    // the user (the character refused, its line and column) in `error`.
    bool HexTelegram(QByteArray *telegram, QString *error) const;
    // "送信" is enabled when the view allows sending and the hex text can be sent (during a
    // repetition it reads "停止" and stays enabled).
    void UpdateSendButton();
    void CreateByteLine();
    void UpdateByteLine();
    void OnCtrlReturn();
    Prompts::FileRequest TextFileRequest(bool open) const;
    void ShowOpenError(const QString &path);

    // The property naming a control's id (GetDlgItem finds controls by it).
    static constexpr const char *kIdProperty = "qnCtrlId";
    static QWidget *Tagged(QWidget *control, int id);

    // Tests read the mode through it (tests/support/sessionprobe.h).
    friend class SessionProbe;

    BOOL m_bSendText = FALSE;                        // 0 hex, 1 text; follows "ﾃｷｽﾄで送信"
    std::unique_ptr<unsigned char[]> m_pSendBuf;     // the telegram, QN_BUFFER_SIZE bytes
    int m_nSendLen = 0;                              // telegram bytes in m_pSendBuf
    QPointer<QObject> m_pView;                       // not owned; null once it is gone
    int m_nKind = KIND_COMMAND_SEND;
    bool m_bWindow = false;
    QFont m_font;  // the template's dialog font
    QPointer<CInputEdit> m_pInput;
    QPointer<QLabel> m_pByteLine;
    QPointer<QLabel> m_pNonHexLine;
    QTimer m_byteLineTimer;
    bool m_bViewAllowsSend = true;
    bool m_bHexRefused = false;  // the typed hex text has a character that cannot be sent

    // The send tools' choices, kept while the window is closed.
    struct SendTools
    {
        bool checksumOn = false;
        QString checksumRule = QStringLiteral("CRC-16/MODBUS:le");
        bool repeatOn = false;
        int intervalMs = 1000;
        int count = 0;  // 0: until stopped
        bool sequenceOn = false;
        int sequenceOffset = 0;
        int sequenceBytes = 1;
        bool sequenceBigEndian = true;
        CLineEnd::Kind lineEnd = CLineEnd::None;
    } m_tools;
    CRepeatSend m_repeat;
    QElapsedTimer m_repeatClock;
    QTimer m_repeatTimer;         // the next send's deadline
    QTimer m_repeatCounterTimer;  // the counter, redrawn at most every kByteLineDelayMs
    bool m_bAwaitingView = false;
    int m_nPeerTarget = 0;
    // The numbers behind "送信先" after its first entry (every client), in order: the list is brought
    // up to date by the entries that differ, never rebuilt.
    std::vector<int> m_shownPeers;
};
