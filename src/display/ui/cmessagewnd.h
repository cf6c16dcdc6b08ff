// The History and Log windows: one time-stamped line per telegram or log text, kept while hidden.
#pragma once

#include "platform/chexconv.h"
#include "display/clinestore.h"
#include "display/ctextdecoding.h"
#include "display/ctracestore.h"
#include "platform/cmsgwnd.h"

#include <QByteArray>
#include <QFont>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <chrono>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

class CDumpView;
class CFindBar;
class CIniFile;
class CLineRecorder;
class CLineView;
class CTraceRecorder;
class QAction;
class QActionGroup;
class QCheckBox;
class QMenu;
class QPrinter;
class QPushButton;

class CMessageWnd : public CMsgWnd<QWidget>
{
    Q_OBJECT
public:
    static constexpr int IDC_TEXT_AREA = 1;
    static constexpr int IDC_NO_SCROLL = 1005;
    static constexpr int IDC_NO_DISPLAY = 1006;
    static constexpr int IDC_TEXT_DISPLAY = 1007;
    static constexpr int IDC_CLEAR = 1039;
    static constexpr int kHexByteLimit = QN_MAX_RECEIVE;

    CMessageWnd();
    ~CMessageWnd() override;

    // Builds the window (hidden and disabled) for the view; kind 2 = Log, 3 = History.
    // FALSE when it was built before.
    BOOL Create(QObject *view, int kind);
    // Appends stamp + text, unless the don't-display box is checked.
    void AddLine(const QString &text);
    // Appends stamp + text as an event of the connection (a modem line's change: "M CTS 1"), stamped
    // to the microsecond as telegrams are.
    void AddEventLine(const QString &text);
    // The same as a mark line (CLineStore::Line::mark), timed to the microsecond as a telegram line
    // is; the History's find bar offers the mark lines alone from the first on.
    void AddMark(const QString &text);
    // Appends stamp + prefix + the data as hex (or as text in the History's text display) unless the
    // don't-display box is checked; returns the hex text of at most kHexByteLimit bytes either way.
    QByteArray AddTelegram(const QString &prefix, const unsigned char *data, int length);
    // The same for one line per prefix (an echo: "R " then "S "), with the text stored once for all
    // of them, and without handing back the hex text: while the window is hidden it is written only
    // when the lines are first looked at.
    // `kept`: a KeptBytesBuffer already filled with the same bytes, or empty.
    void AddTelegramLines(std::initializer_list<QStringView> prefixes, const unsigned char *data, int length,
                          const QByteArray &kept = QByteArray());
    // A buffer for the bytes of a telegram of `length` bytes when the window keeps them to convert
    // later (empty when it converts at once or adds no line): the caller fills it while it reads the
    // telegram anyway and hands it to AddTelegramLines with the same bytes.
    QByteArray KeptBytesBuffer(int length) const;

    int Kind() const { return m_nKind; }
    // The window's lines, oldest first, without the empty line after the last.
    int LineCount() const;
    QString LineText(int index) const;
    QStringList Lines() const;
    // The control with the given id (IDC_…), or null before Create.
    QWidget *GetDlgItem(int id) const;
    CLineView *TextArea() const { return m_pText; }
    // Bytes of stored text the window keeps at most, besides the 1000-line rule.
    void SetTextBudget(qsizetype bytes);
    qsizetype StoredBytes() const;

    // Additions the user switches on; all off (Shift-JIS) by default. The choices are kept in the
    // profile's own section and read again when a window is created.
    CFindBar *FindBar() const { return m_pFindBar; }
    // Shows the find bar with the focus in its field; hiding it ends the search and the filter.
    void ShowFindBar();
    void HideFindBar();
    // Asks for a file name and writes the shown lines to it (UTF-8); one message on failure.
    bool SaveAs();
    // Writes the shown lines to `path` in one step: on failure the old file stays as it was.
    bool SaveTo(const QString &path, QString *error) const;
    // Asks for a file name and appends every line from now on to it.
    bool StartRecording();
    bool StartRecordingTo(const QString &path);
    void StopRecording();
    bool IsRecording() const { return m_pRecorder != nullptr; }
    CLineRecorder *Recorder() const { return m_pRecorder.get(); }
    void SetMilliseconds(bool on);
    bool Milliseconds() const { return m_bMilliseconds; }
    void SetResponseTime(bool on);
    bool ResponseTime() const { return m_bResponseTime; }
    void SetEncoding(CTextDecoding::Encoding encoding);
    CTextDecoding::Encoding Encoding() const { return m_encoding; }
    void SetControlMarks(bool on);
    bool ControlMarks() const { return m_bControlMarks; }
    // The History's checksum check of received telegrams: StartChecksumCheck asks for the rule,
    // SetChecksumCheck sets it (false with the parser's reason for one that does not parse). The
    // choice and the rule are kept in the profile.
    bool StartChecksumCheck();
    bool SetChecksumCheck(const QString &rule, QString *error);
    void StopChecksumCheck();
    // The rule in force; empty while the check is off.
    QString ChecksumRule() const;
    // Looks for the checksum of the received telegrams selected, off the user-interface thread, and
    // makes the first rule found the check's (the others are offered first by StartChecksumCheck);
    // false when nothing is selected that could be searched. checksumSearched tells the end.
    bool SearchChecksum();
    Q_SIGNAL void checksumSearched(const QStringList &rules);
    // Selects the next (or previous) telegram with a bad checksum; the find bar tells which, or
    // that there is none up to the end (start).
    bool GoToBadChecksum(bool forward);
    // The History's dump view in place of the lines (ﾀﾞﾝﾌﾟ表示, Ctrl+D); kept in the profile.
    void SetDumpView(bool on);
    bool DumpView() const { return m_bDump; }
    CDumpView *Dump() const { return m_pDump; }
    // The History's hex digits in pairs with blanks between (01 03 00 …); kept in the profile.
    void SetSpacedHex(bool on);
    bool SpacedHex() const;
    // The context-menu entries after copy and select all.
    QList<QAction *> MenuActions() const;
    // Packet traces (pcapng) of the History's telegrams (cmessagewnd_trace.cpp). The origin tells the
    // connection a telegram about to be added went over (direction 'R' or 'S'): one entry per
    // connection (a send to every client of a server), none for no trace. Without it nothing is traced.
    using TraceOrigin = std::function<QList<CTraceTelegram>(char direction)>;
    void SetTraceOrigin(TraceOrigin origin) { m_traceOrigin = std::move(origin); }
    // Asks for a file name and saves the selected telegrams, or all the window holds without a selection.
    bool SaveTrace();
    bool SaveTraceTo(const QString &path, bool selectionOnly, QString *error) const;
    // Asks for a file name and writes every telegram from now on to it as it arrives.
    bool StartTraceRecording();
    // "-": standard output; `dissector` (empty: the window's) for serial telegrams. False with the cause in `error`.
    bool StartTraceRecordingTo(const QString &path, QString *error, const QByteArray &dissector = QByteArray());
    // Ends the trace recording, waiting at most `wait` for the output (negative: as long as it takes).
    void StopTraceRecording(std::chrono::milliseconds wait = std::chrono::milliseconds(500));
    bool IsTraceRecording() const { return m_pTraceRecorder != nullptr; }
    CTraceRecorder *TraceRecorder() const { return m_pTraceRecorder.get(); }
    // A TCP connection of the trace has ended: the recording writes its close.
    void EndTraceConnection(quint64 connection);
    // The dissector serial telegrams are handed to in a trace ("data", "mbrtu", …); kept in the profile.
    void SetTraceDissector(const QByteArray &name);
    QByteArray TraceDissector() const { return m_traceDissector; }
    bool AskTraceDissector();
    const CTraceStore &Traces() const { return m_traceStore; }
    // "(+12.345 ms) ": what an R line shows of the time since the last S line.
    static QString ResponseText(std::chrono::nanoseconds since);
    static constexpr const char *kProfileSection = "Message windows";

    // Control coordinates are laid out for 96 pixels per inch and scaled by this.
    static double ScaleForDpi(int dpi) { return dpi / 96.0; }
    // "%m/%d/%y %H:%M:%S  " in local time; empty when the time cannot be formatted.
    static QString TimeStamp(std::time_t when);

    // The telegrams of the selected lines (all the window holds without a selection), oldest first,
    // for a sequence recorded from the History (ｼｰｹﾝｽとして保存).
    struct TelegramBytes
    {
        char direction = 0;  // 'R', 'S'
        QByteArray bytes;
        qint64 when = 0;  // microseconds since the epoch
    };
    QList<TelegramBytes> SelectedTelegrams() const;
    // Prints what is shown (the lines the filter lets through, or the dump), in pages, lines too long
    // for the page going on in the next; 印刷... asks for the printer first. PrintTo gives the number
    // of pages, or -1 when the printer cannot be written to.
    bool Print();
    int PrintTo(QPrinter *printer) const;

Q_SIGNALS:
    // The trace recording's output does not keep up: the trace waits in a temporary file.
    void TraceReaderSlow(const QString &path);
    // ｼｰｹﾝｽとして保存 was chosen: the view takes SelectedTelegrams into its commands.
    void SequenceRequested();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void AppendEntry(std::vector<CLineStore::Line> lines);
    // One telegram line, its hex digits given as text (`hex`) or as the bytes to convert later (`pending`).
    void AddTelegramLine(QStringView prefix, const unsigned char *data, int length, const QByteArray &hex,
                         const QByteArray &pending);
    // False when a telegram adds no line (no text area yet, or the don't-display box is checked).
    bool ShowsTelegrams() const;
    // A telegram adds hex lines: it adds lines, and not in the History's text display.
    bool AddsHexLines() const;
    // True when a telegram's hex digits wait until its line is looked at (hidden, not recording).
    bool KeepsBytes() const;
    // The telegram's lines in text display: one line per line of text, each with the bytes it shows.
    std::vector<CLineStore::Line> TextLines(const QString &lead, const unsigned char *data, int length) const;
    void CreateTools();
    void CreateChecksumTools();
    void CreateDumpTools(const CIniFile &profile);
    bool ShowsDump() const { return m_pDump && m_bDump; }
    // What the find bar looks for, as the bytes the dump finds.
    QByteArray DumpPattern() const;
    void ReadChecksumOptions(const CIniFile &profile);
    // Sets the rule without writing the profile; a null rule switches the check off.
    bool ApplyChecksumCheck(const QString &rule, QString *error);
    void ReadOptions();
    void WriteOption(const QString &key, const QString &value) const;
    // Sets an on/off choice, its menu entry and its profile key; nothing without the entry.
    void SetToggle(bool &option, QAction *action, const QString &key, bool on);
    QString MillisecondsKey() const;
    void OnSearchChanged();
    void OnFilterChanged();
    void GoToMatch(bool forward);
    void ShowMatchCount();
    void OnRecordFailed(const QString &cause);
    void PlaceTextArea();
    void RequestClose();
    QString CurrentStamp();
    // The lines of a stamped entry; `timed`: each knows its time to the microsecond.
    std::vector<CLineStore::Line> StampedLines(const QString &text, bool timed);
    void CreateTraceTools();
    void CreateSequenceTools();
    void CreatePrintTools();
    // The shown lines as UTF-8, each followed by a line feed: what 名前を付けて保存 writes.
    QByteArray ShownText() const;
    void ReadTraceOptions();
    // Keeps the telegram for the trace (`lineSerial` < 0: it has no line) and hands it to the recording.
    // `inLine`: the line of `lineSerial` shows all of the telegram's bytes as hex digits, from which
    // a saved trace reads them back rather than the History keep them twice.
    void TraceTelegram(char direction, const unsigned char *data, int length, const QByteArray &kept, qint64 lineSerial,
                       bool inLine = false);
    void OnTraceFailed(const QString &cause);
    void OnTraceSlow();

    static constexpr int kButtonStrip = 20;  // pixels above the text area, at every scale

    QPointer<QObject> m_pView;  // the view; not owned, null once it is gone
    CLineView *m_pText = nullptr;
    QPushButton *m_pClear = nullptr;
    QCheckBox *m_pNoScroll = nullptr;
    QCheckBox *m_pNoDisplay = nullptr;
    QCheckBox *m_pTextDisplay = nullptr;
    QFont m_font;
    int m_nKind = 0;
    CHexConv m_hexConv;
    std::time_t m_stampTime = -1;
    QString m_stamp;

    CFindBar *m_pFindBar = nullptr;
    std::unique_ptr<CLineRecorder> m_pRecorder;
    QString m_strPlainTitle;  // the caption without the recording note
    bool m_bMilliseconds = false;
    bool m_bResponseTime = false;
    bool m_bControlMarks = false;
    CTextDecoding::Encoding m_encoding = CTextDecoding::ShiftJis;
    std::chrono::steady_clock::time_point m_lastSend;
    bool m_bSent = false;
    QAction *m_pFind = nullptr;
    QAction *m_pSave = nullptr;
    QAction *m_pRecord = nullptr;
    QAction *m_pMilliseconds = nullptr;
    QAction *m_pResponseTime = nullptr;
    QAction *m_pControlMarks = nullptr;
    QAction *m_pChecksum = nullptr;
    QAction *m_pChecksumSearch = nullptr;
    QStringList m_searchedRules;
    QAction *m_pNextBad = nullptr;
    QAction *m_pPreviousBad = nullptr;
    CDumpView *m_pDump = nullptr;
    QAction *m_pDumpView = nullptr;
    bool m_bDump = false;
    qint64 m_recordWhen = 0;  // the time of the last telegram recorded as a dump
    QMenu *m_pEncodingMenu = nullptr;
    // Packet traces.
    TraceOrigin m_traceOrigin;
    CTraceStore m_traceStore;
    std::unique_ptr<CTraceRecorder> m_pTraceRecorder;
    QByteArray m_traceDissector;
    std::chrono::system_clock::time_point m_stampClock;  // the clock reading of the last stamp
    QAction *m_pSaveTrace = nullptr;
    QAction *m_pRecordTrace = nullptr;
    QAction *m_pTraceDissector = nullptr;
    QActionGroup *m_pEncodings = nullptr;
    QAction *m_pSaveSequence = nullptr;
    QAction *m_pPrint = nullptr;
    QAction *m_pSpacedHex = nullptr;
};
