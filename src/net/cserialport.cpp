#include "net/cserialport.h"

#include "net/cmodemwatcher.h"
#include "net/cserialdevices.h"
#include "net/cserialreader.h"
#include "net/socketlog.h"
#include "platform/cmessageevent.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace {

const char16_t kTag[] = u"[CSerialPort]";

}  // namespace

CSerialPort::CSerialPort(QObject *view, char *logBuf, qsizetype maxQueued)
    : m_pView(view), m_pLogBuf(logBuf), m_nMaxQueued(std::max(maxQueued, 2 * qsizetype(QN_MAX_RECEIVE)))
{
    m_breakTimer.setSingleShot(true);
    m_breakTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_breakTimer, &QTimer::timeout, this, [this] { EndBreak(); });
    m_errorTimer.setInterval(kErrorLogMs);
    connect(&m_errorTimer, &QTimer::timeout, this, [this] { LogErrorCounts(); });
}

CSerialPort::~CSerialPort()
{
    DropQueue(false);  // the view may be going: no line
    Close();
}

void CSerialPort::Log(const QString &text, int kind)
{
    SendSocketLog(m_pLogBuf, m_pView, text, kind, kTag);
}

void CSerialPort::Fail(int code, const QString &text)
{
    Fail(SocketFailure::Errno(code, text));
}

void CSerialPort::Fail(const SocketFailure &failure)
{
    m_lastFailure = failure;
    Log(failure.LogText(), LOG_ERROR);
}

QString CSerialPort::ErrorText(int error)
{
    switch (error) {
    case 0: return QStringLiteral("原因不明");
    case EPERM:
    case EACCES: return QStringLiteral("ｱｸｾｽが拒否されました");
    case ENOENT: return QStringLiteral("ﾌｧｲﾙまたはﾌｫﾙﾀﾞが見つかりません");
    case EIO: return QStringLiteral("入出力ｴﾗｰです");
    case ENXIO:
    case ENODEV: return QStringLiteral("ﾃﾞﾊﾞｲｽがありません");
    case EBUSY: return QStringLiteral("使用中です");
    case EISDIR: return QStringLiteral("ﾌｫﾙﾀﾞです");
    case ENOTDIR: return QStringLiteral("途中の名前がﾌｫﾙﾀﾞではありません");
    case ENOTTY: return QStringLiteral("端末ではありません");
    case EINVAL: return QStringLiteral("無効な値です");
    case EMFILE:
    case ENFILE: return QStringLiteral("開いているﾌｧｲﾙが多すぎます");
    case ENOMEM: return QStringLiteral("ﾒﾓﾘが不足しています");
    case EROFS: return QStringLiteral("読み取り専用のﾌｧｲﾙｼｽﾃﾑです");
    case ELOOP: return QStringLiteral("ｼﾝﾎﾞﾘｯｸﾘﾝｸが多すぎます");
    case ENAMETOOLONG: return QStringLiteral("名前が長すぎます");
    case EAGAIN: return QStringLiteral("一時的に使用できません");
    case EINTR: return QStringLiteral("割り込まれました");
    default: return QStringLiteral("不明なｴﾗｰ");
    }
}

QString CSerialPort::OpenFailureText(CSerialLine::Step step, int error, const QString &device, const CSerialLine::Owners &owners)
{
    if (step == CSerialLine::STEP_LOCK || error == EBUSY)
        return QStringLiteral("ﾃﾞﾊﾞｲｽ %1 は他のﾌﾟﾛｸﾞﾗﾑが使用中です。そのﾌﾟﾛｸﾞﾗﾑを終了してから接続してください。").arg(device);
    if (step == CSerialLine::STEP_TERMINAL)
        return QStringLiteral("%1 はｼﾘｱﾙﾃﾞﾊﾞｲｽではありません。ﾃﾞﾊﾞｲｽ名を確認してください。").arg(device);
    if (step == CSerialLine::STEP_RS485) {
        const QString driver = CSerialDevices::DriverOf(device);
        return QStringLiteral("ﾃﾞﾊﾞｲｽ %1 (ﾄﾞﾗｲﾊﾞ %2) は RS-485 (TIOCSRS485) を設定できません (ｴﾗｰ %3: %4)。RS-485 を使わない設定にするか、RS-485 に対応したｱﾀﾞﾌﾟﾀを使ってください。")
            .arg(device, driver.isEmpty() ? QStringLiteral("不明") : driver)
            .arg(error)
            .arg(ErrorText(error));
    }
    if (step == CSerialLine::STEP_SETTINGS)
        return QStringLiteral("ﾃﾞﾊﾞｲｽ %1 はこの設定を受け付けません (ｴﾗｰ %2)。ﾎﾞｰﾚｰﾄとﾌﾚｰﾑを確認してください。").arg(device).arg(error);
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("ﾃﾞﾊﾞｲｽ %1 が見つかりません。ｹｰﾌﾞﾙとｱﾀﾞﾌﾟﾀの接続、ﾃﾞﾊﾞｲｽ名を確認してください。").arg(device);
    case EACCES:
    case EPERM:
        // Joining the group helps only where the group may read and write the device.
        if (owners.groupReadWrite)
            return QStringLiteral("ﾃﾞﾊﾞｲｽ %1 を開く権限がありません。ｸﾞﾙｰﾌﾟ %2 に加わってください (sudo usermod -aG %2 ﾕｰｻﾞｰ名 の後、ﾛｸﾞｲﾝし直す)。")
                .arg(device, owners.group);
        if (!owners.user.isEmpty())
            return QStringLiteral("ﾃﾞﾊﾞｲｽ %1 を開く権限がありません。所有者は %2、ｸﾞﾙｰﾌﾟ %3 には読み書きの権限がありません。管理者に権限を確かめてください。")
                .arg(device, owners.user, owners.group);
        return QStringLiteral("ﾃﾞﾊﾞｲｽ %1 を開く権限がありません。").arg(device);
    default:
        return QStringLiteral("ﾃﾞﾊﾞｲｽ %1 を開けません (ｴﾗｰ %2: %3)。").arg(device).arg(error).arg(ErrorText(error));
    }
}

QString CSerialPort::DestinationText(const QStringList &settings) const
{
    return QStringLiteral("ﾃﾞﾊﾞｲｽ ") + settings.value(0);
}

bool CSerialPort::Open(const QStringList &settings, QString *logText)
{
    Close();
    m_lastFailure = {};
    QString error;
    if (!CSerialSettings::Parse(settings, &m_settings, &error)) {
        Fail(SocketFailure::Settings(error));
        return false;
    }
    if (m_settings.device.trimmed().isEmpty()) {
        Fail(SocketFailure::Settings(QStringLiteral("ﾃﾞﾊﾞｲｽが設定されていません。ｿｹｯﾄ設定でﾃﾞﾊﾞｲｽを選んでください。")));
        return false;
    }
    Log(QStringLiteral("Open[dev:%1 %2]").arg(m_settings.device, m_settings.LineText()), LOG_TRACE);
    if (!m_line.Open(m_settings)) {
        const CSerialLine::Owners owners = m_line.Error() == EACCES || m_line.Error() == EPERM ? CSerialLine::DeviceOwners(m_settings.device)
                                                                                              : CSerialLine::Owners();
        Fail(m_line.Error(), OpenFailureText(m_line.FailedStep(), m_line.Error(), m_settings.device, owners));
        return false;
    }
    // What is read may wait no more than what is sent (a test's small bound holds both).
    m_pReader = std::make_unique<CSerialReader>(m_line.Handle(), m_settings, std::min(CSerialReader::kLimit, m_nMaxQueued));
    if (!m_pReader->IsRunning()) {
        m_pReader.reset();
        m_line.Close();
        Fail(EMFILE, OpenFailureText(CSerialLine::STEP_OPEN, EMFILE, m_settings.device, {}));
        return false;
    }
    m_nSerial = NewMessageSource();
    m_bGone = false;
    m_pWakeNotifier = new QSocketNotifier(m_pReader->WakeHandle(), QSocketNotifier::Read, this);
    connect(m_pWakeNotifier, &QSocketNotifier::activated, this, [this] { QueueReady(); });
    m_pWriteNotifier = new QSocketNotifier(m_line.Handle(), QSocketNotifier::Write, this);
    m_pWriteNotifier->setEnabled(false);
    connect(m_pWriteNotifier, &QSocketNotifier::activated, this, [this] { Flush(); });
    const int lines = m_line.ModemLines();
    m_nLines = lines < 0 ? -1 : LinesOf(lines);
    if (lines >= 0) {
        m_pWatcher = std::make_unique<CModemWatcher>(m_line.Handle(), m_line.Control(), lines);
        m_pLinesNotifier = new QSocketNotifier(m_pWatcher->WakeHandle(), QSocketNotifier::Read, this);
        connect(m_pLinesNotifier, &QSocketNotifier::activated, this, [this] { LinesReady(); });
    }
    if (m_settings.rs485.enabled)
        Log(QStringLiteral("RS-485 RTS:%1 送信前 %2ms 送信後 %3ms")
                .arg(m_settings.rs485.rtsOnSend ? QStringLiteral("送信中ｵﾝ") : QStringLiteral("送信後ｵﾝ"))
                .arg(m_settings.rs485.delayBeforeMs)
                .arg(m_settings.rs485.delayAfterMs),
            LOG_TRACE);
    m_bCounts = m_line.ErrorCounts(&m_counts);
    if (m_bCounts)
        m_errorTimer.start();
    *logText = QStringLiteral("ｿｹｯﾄ接続  ﾃﾞﾊﾞｲｽ:%1 %2").arg(m_settings.device, m_settings.LineText());
    return true;
}

void CSerialPort::DropQueue(bool say)
{
    if (say && m_nQueued > 0)
        Log(QStringLiteral("送信待ちの %1 ﾊﾞｲﾄを送信せずに破棄しました").arg(m_nQueued), LOG_WARN);
    m_queue.clear();
    m_nFrontSent = 0;
    m_nQueued = 0;
}

void CSerialPort::Close()
{
    DropQueue(true);
    m_errorTimer.stop();
    if (m_breakTimer.isActive()) {
        m_breakTimer.stop();
        m_line.SetBreak(false);  // the line is not left in the break condition
    }
    delete m_pWakeNotifier;
    m_pWakeNotifier = nullptr;
    delete m_pWriteNotifier;
    m_pWriteNotifier = nullptr;
    delete m_pLinesNotifier;
    m_pLinesNotifier = nullptr;
    m_pWatcher.reset();
    m_pReader.reset();  // joins the thread before the handle it reads closes
    m_nLines = -1;
    m_line.Close();
    m_nSerial = 0;
    m_next.clear();
    m_bHasNext = false;
    m_bReadHeld = false;
}

void CSerialPort::QueueReady()
{
    m_pWakeNotifier->setEnabled(false);  // one notice until the view receives
    if (HoldReading(0))
        return;  // the queue's drain resumes
    if (!m_bHasNext)
        m_bHasNext = m_pReader->Take(m_next);
    if (m_bHasNext) {
        PostMessage(m_pView, WM_SESSION_EVENT, EV_RECEIVE, 0, m_nSerial);
        return;
    }
    if (const int error = m_pReader->EndedWith())
        DeviceGone(error);
    else
        m_pWakeNotifier->setEnabled(true);
}

void CSerialPort::DeviceGone(int error)
{
    if (std::exchange(m_bGone, true))
        return;
    Fail(error, QStringLiteral("ﾃﾞﾊﾞｲｽ %1 との接続が切れました (ｴﾗｰ %2)。ｹｰﾌﾞﾙとｱﾀﾞﾌﾟﾀを確認してください。").arg(m_settings.device).arg(error));
    // What was read has been received; the session ends as a peer's close does, then disconnects.
    PostMessage(m_pView, WM_SESSION_EVENT, EV_CLOSED, 0, m_nSerial);
    PostMessage(m_pView, WM_SESSION_EVENT, EV_DISCONNECT, DISCONNECT_GONE, m_nSerial);
}

int CSerialPort::Receive(void *buffer, int length)
{
    if (!m_pReader)
        return 0;
    if (!m_bHasNext)
        m_bHasNext = m_pReader->Take(m_next);
    if (!m_bHasNext || length <= 0)
        return 0;
    const int count = int(std::min<std::size_t>(m_next.size(), std::size_t(length)));
    std::memcpy(buffer, m_next.data(), std::size_t(count));
    m_next.erase(0, std::size_t(count));
    m_bHasNext = !m_next.empty();  // a telegram longer than the buffer goes on in the next receive
    if (HoldReading(count))
        return count;  // the echo of these bytes may come first; the queue's drain resumes
    if (m_bHasNext)
        PostMessage(m_pView, WM_SESSION_EVENT, EV_RECEIVE, 0, m_nSerial);
    else
        m_pWakeNotifier->setEnabled(true);
    return count;
}

int CSerialPort::Send(const void *data, int length)
{
    if (m_line.Handle() < 0) {
        m_lastFailure = SocketFailure::Errno(ENOTCONN, QStringLiteral("ﾃﾞﾊﾞｲｽ未接続　送信不可"));
        Log(m_lastFailure.text, LOG_WARN);
        return 0;
    }
    if (length <= 0)
        return 1;
    if (m_nQueued + length > m_nMaxQueued) {
        Fail(ENOBUFS, QStringLiteral("Send() 送信待ちが %1MB を超えるため送信しません").arg(m_nMaxQueued / (1024 * 1024)));
        return 0;
    }
    m_queue.emplace_back(static_cast<const char *>(data), length);
    m_nQueued += length;
    return Flush() ? 1 : 0;
}

bool CSerialPort::Flush()
{
    while (!m_queue.empty()) {
        const QByteArray &front = m_queue.front();
        const ssize_t sent = ::write(m_line.Handle(), front.constData() + m_nFrontSent, std::size_t(front.size() - m_nFrontSent));
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                m_pWriteNotifier->setEnabled(true);  // the line takes more later
                ResumeReading();
                return true;
            }
            const int error = errno;
            DropQueue(false);
            m_pWriteNotifier->setEnabled(false);
            Fail(error, QStringLiteral("Send() ﾃﾞﾊﾞｲｽに書き込めません (ｴﾗｰ %1)").arg(error));
            ResumeReading();  // what was read before the failure is still received
            return false;
        }
        m_nFrontSent += sent;
        m_nQueued -= sent;
        if (m_nFrontSent == front.size()) {
            m_queue.pop_front();
            m_nFrontSent = 0;
        }
    }
    m_pWriteNotifier->setEnabled(false);
    ResumeReading();
    return true;
}

bool CSerialPort::HoldReading(qsizetype coming)
{
    if (!m_bReadHeld && m_nQueued + coming > m_nMaxQueued - QN_MAX_RECEIVE) {
        m_bReadHeld = true;
        m_pReader->Hold(true);
    }
    return m_bReadHeld;
}

void CSerialPort::ResumeReading()
{
    if (!m_bReadHeld || m_nQueued > m_nMaxQueued / 2)
        return;
    m_bReadHeld = false;
    m_pReader->Hold(false);
    if (m_bHasNext)
        PostMessage(m_pView, WM_SESSION_EVENT, EV_RECEIVE, 0, m_nSerial);
    else
        m_pWakeNotifier->setEnabled(true);
}

CEndpoint::Gauges CSerialPort::ReadGauges() const
{
    Gauges gauges;
    gauges.sendQueued = m_nQueued;
    return gauges;
}

CEndpoint::Description CSerialPort::Describe() const
{
    Description description;
    description.text = QStringLiteral("ｼﾘｱﾙ %1 %2").arg(m_settings.device, m_settings.LineText());
    // The input lines that are on, where the device has them.
    for (int i = 2; m_nLines >= 0 && i < kModemLineCount; ++i) {
        if (m_nLines & ModemLineBit(i))
            description.text += QLatin1Char(' ') + ModemLineName(i);
    }
    return description;
}

int CSerialPort::LinesOf(int tiocm)
{
    const int bits[kModemLineCount] = {TIOCM_DTR, TIOCM_RTS, TIOCM_CTS, TIOCM_DSR, TIOCM_CAR, TIOCM_RNG};
    int lines = 0;
    for (int i = 0; i < kModemLineCount; ++i) {
        if (tiocm & bits[i])
            lines |= ModemLineBit(i);
    }
    return lines;
}

void CSerialPort::LinesReady()
{
    CModemWatcher::Change change;
    while (m_pWatcher && m_pWatcher->Take(&change))
        ReportLines(LinesOf(change.lines), change.when);
}

void CSerialPort::ReportLines(int lines, qint64 when)
{
    const int changed = m_nLines < 0 ? 0 : lines ^ m_nLines;
    if (changed == 0)
        return;
    m_nLines = lines;
    ModemLinesChanged(changed, lines, when);
    DescriptionChanged();
}

bool CSerialPort::RefuseControl(const QString &text, QString *error)
{
    *error = text;
    Log(text, LOG_WARN);
    return false;
}

bool CSerialPort::SetControlLine(int line, bool on, QString *error)
{
    const QString name = line == LineDtr ? QStringLiteral("DTR") : QStringLiteral("RTS");
    if (m_line.Handle() < 0)
        return RefuseControl(QStringLiteral("ﾃﾞﾊﾞｲｽ未接続　%1 を変更できません").arg(name), error);
    if (line != LineDtr && line != LineRts)
        return RefuseControl(QStringLiteral("変更できるのは DTR と RTS だけです"), error);
    if (m_nLines < 0)
        return RefuseControl(QStringLiteral("ﾃﾞﾊﾞｲｽ %1 には制御線がありません (DTR/RTS を変更できません)").arg(m_settings.device), error);
    // The driver owns RTS while it drives the flow control or the RS-485 transceiver.
    if (line == LineRts && m_settings.flow == CSerialSettings::FLOW_RTSCTS)
        return RefuseControl(QStringLiteral("RTS/CTS ﾌﾛｰ制御中は RTS を変更できません"), error);
    if (line == LineRts && m_settings.rs485.enabled)
        return RefuseControl(QStringLiteral("RS-485 では RTS はﾄﾞﾗｲﾊﾞが切り替えます (RTS を変更できません)"), error);
    const int failed = m_line.SetLines(line == LineDtr ? TIOCM_DTR : TIOCM_RTS, on);
    if (failed == ENOTTY || failed == EINVAL)
        return RefuseControl(QStringLiteral("ﾃﾞﾊﾞｲｽ %1 には制御線がありません (DTR/RTS を変更できません)").arg(m_settings.device), error);
    if (failed != 0)
        return RefuseControl(QStringLiteral("ﾃﾞﾊﾞｲｽ %1 の %2 を変更できません (ｴﾗｰ %3: %4)").arg(m_settings.device, name).arg(failed).arg(ErrorText(failed)),
                             error);
    const qint64 now = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    const int lines = m_line.ModemLines();
    ReportLines(lines >= 0 ? LinesOf(lines) : on ? (m_nLines | line) : (m_nLines & ~line), now);
    return true;
}

bool CSerialPort::SendBreak(int ms, QString *error)
{
    if (m_line.Handle() < 0)
        return RefuseControl(QStringLiteral("ﾃﾞﾊﾞｲｽ未接続　ﾌﾞﾚｰｸを送信できません"), error);
    // A pseudo-terminal takes the request and sends nothing: a line without modem lines is refused.
    if (m_nLines < 0)
        return RefuseControl(QStringLiteral("ﾃﾞﾊﾞｲｽ %1 にはﾌﾞﾚｰｸ信号がありません (疑似端末などﾓﾃﾞﾑ制御線のないﾃﾞﾊﾞｲｽ)").arg(m_settings.device), error);
    if (m_breakTimer.isActive())
        return RefuseControl(QStringLiteral("ﾌﾞﾚｰｸ送信中です"), error);
    const int failed = m_line.SetBreak(true);
    if (failed != 0)
        return RefuseControl(QStringLiteral("ﾃﾞﾊﾞｲｽ %1 はﾌﾞﾚｰｸを送信できません (ｴﾗｰ %2: %3)").arg(m_settings.device).arg(failed).arg(ErrorText(failed)), error);
    m_breakTimer.start(ms > 0 ? ms : m_settings.breakMs);
    return true;
}

void CSerialPort::EndBreak()
{
    if (const int failed = m_line.SetBreak(false))
        Log(QStringLiteral("ﾃﾞﾊﾞｲｽ %1 のﾌﾞﾚｰｸを終了できません (ｴﾗｰ %2: %3)").arg(m_settings.device).arg(failed).arg(ErrorText(failed)), LOG_ERROR);
}

void CSerialPort::LogErrorCounts()
{
    CSerialLine::Counts counts;
    if (!m_line.ErrorCounts(&counts))
        return;
    const quint64 frame = counts.frame - m_counts.frame;
    const quint64 parity = counts.parity - m_counts.parity;
    const quint64 overrun = counts.overrun - m_counts.overrun;
    m_counts = counts;
    if (frame + parity + overrun > 0) {
        Log(QStringLiteral("受信ｴﾗｰ ﾌﾚｰﾐﾝｸﾞ%1件 ﾊﾟﾘﾃｨ%2件 ｵｰﾊﾞｰﾗﾝ%3件").arg(frame).arg(parity).arg(overrun), LOG_ERROR);
    }
}

bool CSerialPort::TraceEndsOf(int, bool, TraceEnds *ends) const
{
    ends->carrier = TraceEnds::Line;
    return true;
}
