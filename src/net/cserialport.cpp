#include "net/cserialport.h"

#include "net/cserialreader.h"
#include "net/socketlog.h"
#include "platform/cmessageevent.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
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
    m_linesTimer.setInterval(kLinesPollMs);
    connect(&m_linesTimer, &QTimer::timeout, this, [this] { WatchLines(); });
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
    m_nLines = m_line.ModemLines();
    if (m_nLines >= 0)
        m_linesTimer.start();
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
    m_linesTimer.stop();
    m_errorTimer.stop();
    delete m_pWakeNotifier;
    m_pWakeNotifier = nullptr;
    delete m_pWriteNotifier;
    m_pWriteNotifier = nullptr;
    m_pReader.reset();  // joins the thread before the handle it reads closes
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
    // The modem lines that are on, where the device has them.
    const struct
    {
        int bit;
        const char16_t *name;
    } lines[] = {{TIOCM_CTS, u"CTS"}, {TIOCM_DSR, u"DSR"}, {TIOCM_CAR, u"DCD"}, {TIOCM_RNG, u"RI"}};
    if (m_nLines >= 0) {
        for (const auto &line : lines) {
            if (m_nLines & line.bit)
                description.text += QLatin1Char(' ') + QString::fromUtf16(line.name);
        }
    }
    return description;
}

void CSerialPort::WatchLines()
{
    const int lines = m_line.ModemLines();
    if (lines == m_nLines)
        return;
    m_nLines = lines;
    if (lines < 0)
        m_linesTimer.stop();
    DescriptionChanged();
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
