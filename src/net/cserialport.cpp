#include "net/cserialport.h"

#include "net/cserialreader.h"
#include "net/socketlog.h"
#include "platform/cmessageevent.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

namespace {

const char16_t kTag[] = u"[CSerialPort]";

}  // namespace

CSerialPort::CSerialPort(QObject *view, char *logBuf) : m_pView(view), m_pLogBuf(logBuf)
{
    m_linesTimer.setInterval(kLinesPollMs);
    connect(&m_linesTimer, &QTimer::timeout, this, [this] { WatchLines(); });
    m_errorTimer.setInterval(kErrorLogMs);
    connect(&m_errorTimer, &QTimer::timeout, this, [this] { LogErrorCounts(); });
}

CSerialPort::~CSerialPort()
{
    Close();
}

void CSerialPort::Log(const QString &text, int kind)
{
    SendSocketLog(m_pLogBuf, m_pView, text, kind, kTag);
}

void CSerialPort::Fail(int code, const QString &text)
{
    m_lastFailure = {code, text};
    Log(text, LOG_ERROR);
}

QString CSerialPort::OpenFailureText(CSerialLine::Step step, int error, const QString &device, const QString &group)
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
        return QStringLiteral("ﾃﾞﾊﾞｲｽ %1 を開く権限がありません。ｸﾞﾙｰﾌﾟ %2 に加わってください (sudo usermod -aG %2 ﾕｰｻﾞｰ名 の後、ﾛｸﾞｲﾝし直す)。")
            .arg(device, group.isEmpty() ? QStringLiteral("dialout") : group);
    default:
        return QStringLiteral("ﾃﾞﾊﾞｲｽ %1 を開けません (ｴﾗｰ %2: %3)。").arg(device).arg(error).arg(QString::fromLocal8Bit(std::strerror(error)));
    }
}

bool CSerialPort::Open(const QStringList &settings, QString *logText)
{
    Close();
    m_lastFailure = {};
    QString error;
    if (!CSerialSettings::Parse(settings, &m_settings, &error)) {
        Fail(EINVAL, error);
        return false;
    }
    if (m_settings.device.trimmed().isEmpty()) {
        Fail(ENOENT, QStringLiteral("ﾃﾞﾊﾞｲｽが設定されていません。ｿｹｯﾄ設定でﾃﾞﾊﾞｲｽを選んでください。"));
        return false;
    }
    Log(QStringLiteral("Open[dev:%1 %2]").arg(m_settings.device, m_settings.LineText()), LOG_TRACE);
    if (!m_line.Open(m_settings)) {
        const QString group = m_line.Error() == EACCES || m_line.Error() == EPERM ? CSerialLine::DeviceGroup(m_settings.device) : QString();
        Fail(m_line.Error(), OpenFailureText(m_line.FailedStep(), m_line.Error(), m_settings.device, group));
        return false;
    }
    m_pReader = std::make_unique<CSerialReader>(m_line.Handle(), m_settings);
    if (!m_pReader->IsRunning()) {
        m_pReader.reset();
        m_line.Close();
        Fail(EMFILE, OpenFailureText(CSerialLine::STEP_OPEN, EMFILE, m_settings.device, QString()));
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

void CSerialPort::Close()
{
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
    m_queue.clear();
    m_nFrontSent = 0;
    m_nQueued = 0;
}

void CSerialPort::QueueReady()
{
    m_pWakeNotifier->setEnabled(false);  // one notice until the view receives
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
    PostMessage(m_pView, WM_SESSION_EVENT, EV_DISCONNECT, 0, m_nSerial);
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
    if (m_bHasNext)
        PostMessage(m_pView, WM_SESSION_EVENT, EV_RECEIVE, 0, m_nSerial);
    else
        m_pWakeNotifier->setEnabled(true);
    return count;
}

int CSerialPort::Send(const void *data, int length)
{
    if (m_line.Handle() < 0) {
        Log(QStringLiteral("ﾃﾞﾊﾞｲｽ未接続　送信不可"), LOG_WARN);
        return 0;
    }
    if (length <= 0)
        return 1;
    if (m_nQueued + length > kMaxQueued) {
        Fail(ENOBUFS, QStringLiteral("Send() 送信待ちが %1MB を超えるため送信しません").arg(kMaxQueued / (1024 * 1024)));
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
                return true;
            }
            const int error = errno;
            m_queue.clear();
            m_nFrontSent = 0;
            m_nQueued = 0;
            m_pWriteNotifier->setEnabled(false);
            Fail(error, QStringLiteral("Send() ﾃﾞﾊﾞｲｽに書き込めません (ｴﾗｰ %1)").arg(error));
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
    return true;
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
