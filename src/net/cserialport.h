// The serial end of a session: opens the device with the document's line settings, tells the view
// of each telegram the reader thread has cut, sends in order as the line takes the bytes, and says
// when the device goes (an adapter pulled out). The modem lines and the driver's receive errors are
// watched while it is open.
#pragma once

#include "net/cendpoint.h"
#include "net/cserialline.h"
#include "net/cserialsettings.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <memory>
#include <string>

class CModemWatcher;
class CSerialReader;
class QSocketNotifier;

class CSerialPort final : public QObject, public CEndpoint
{
public:
    // Bytes that may wait for a slow line before a further send is refused.
    static constexpr qsizetype kMaxQueued = 64 * 1024 * 1024;
    // While more than the bound less one receive waits, nothing more is taken from the line (and the
    // device, whose line then fills, is held back) until the wait has drained to half the bound: the
    // echo of each receive always fits.
    // How often the error counters are looked at (the modem lines: CModemWatcher).
    static constexpr int kErrorLogMs = 1000;

    // `view` receives the notices and the log lines through `logBuf` (the view's, not owned);
    // `maxQueued` is the bound of the bytes waiting to be sent (at least two receives), and of those
    // read and waiting for the view where it is below the reader's own.
    CSerialPort(QObject *view, char *logBuf, qsizetype maxQueued = kMaxQueued);
    ~CSerialPort() override;

    // The endpoint: settings are the serial slots of the document, in order.
    ConnectionType Type() const override { return TYPE_SERIAL; }
    int SocketKind() const override { return 0; }
    // The device in words, for the pane while a reconnect waits for it.
    QString DestinationText(const QStringList &settings) const override;
    bool Open(const QStringList &settings, QString *logText) override;
    void Close() override;
    int Send(const void *data, int length) override;
    int Receive(void *buffer, int length) override;
    Description Describe() const override;
    // A line has no addresses: its telegrams are traced as they are.
    bool TraceEndsOf(int peer, bool received, TraceEnds *ends) const override;
    Gauges ReadGauges() const override;
    SocketFailure LastFailure() const override { return m_lastFailure; }
    int ModemLines() const override { return m_nLines; }
    bool SetControlLine(int line, bool on, QString *error) override;
    bool SendBreak(int ms, QString *error) override;
    int BreakMs() const override { return m_settings.breakMs; }
    // The modem lines as CEndpoint::ModemLine bits, of TIOCM_* bits.
    static int LinesOf(int tiocm);
    bool IsNoticeFrom(std::uint64_t serial) const override { return serial != 0 && serial == m_nSerial; }

    // The failure text of an open that failed at `step` with `error`, for `device`.
    static QString OpenFailureText(CSerialLine::Step step, int error, const QString &device, const CSerialLine::Owners &owners);
    // An error number in words ("ﾌｫﾙﾀﾞです").
    static QString ErrorText(int error);

private:
    void Log(const QString &text, int kind);
    // Drops what waits to be sent, with a line that says how much when `say`.
    void DropQueue(bool say);
    // Holds the line while the echo of `coming` more bytes might not fit; true while held.
    bool HoldReading(qsizetype coming);
    void ResumeReading();
    void Fail(int code, const QString &text);  // errno
    void Fail(const SocketFailure &failure);
    void QueueReady();
    void DeviceGone(int error);
    bool Flush();
    // The watcher's changes, and a change of this side's own lines.
    void LinesReady();
    void ReportLines(int lines, qint64 when);
    void EndBreak();
    // Refuses a line control with `text` in the Log and `error`.
    bool RefuseControl(const QString &text, QString *error);
    void LogErrorCounts();

    QPointer<QObject> m_pView;
    char *m_pLogBuf;  // not owned
    CSerialSettings m_settings;
    CSerialLine m_line;
    std::unique_ptr<CSerialReader> m_pReader;  // declared after the line: it stops before the line closes
    std::unique_ptr<CModemWatcher> m_pWatcher;  // so does this
    QSocketNotifier *m_pWakeNotifier = nullptr;   // children of this object, made per open
    QSocketNotifier *m_pWriteNotifier = nullptr;
    QSocketNotifier *m_pLinesNotifier = nullptr;
    std::uint64_t m_nSerial = 0;  // names this open's notices; 0 while closed
    SocketFailure m_lastFailure;
    std::string m_next;        // the telegram the view has been told of
    bool m_bHasNext = false;
    bool m_bGone = false;      // the device went; said once
    std::deque<QByteArray> m_queue;  // bytes the line has not taken yet, oldest first
    qsizetype m_nFrontSent = 0;
    qsizetype m_nQueued = 0;
    const qsizetype m_nMaxQueued;
    bool m_bReadHeld = false;  // the line is not read until the queue has drained
    int m_nLines = -1;         // the modem lines last seen (ModemLine bits), -1: the device has none
    CSerialLine::Counts m_counts;
    bool m_bCounts = false;    // the driver counts errors
    QTimer m_errorTimer;
    QTimer m_breakTimer;       // running while the line is in the break condition
};
