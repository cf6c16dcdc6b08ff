#include "support/ptydevice.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyDevice::PtyDevice()
{
    char name[128] = {};
    if (::openpty(&m_nMaster, &m_nSlave, name, nullptr, nullptr) != 0)
        return;
    m_strPath = QString::fromLocal8Bit(name);
    ::fcntl(m_nMaster, F_SETFL, ::fcntl(m_nMaster, F_GETFL) | O_NONBLOCK);
    // Packet mode: each read says whether it holds data or news of the line, among them the flush
    // of what waited to be read with which the program's open ends.
    int packet = 1;
    ::ioctl(m_nMaster, TIOCPKT, &packet);
    m_pNotifier = new QSocketNotifier(m_nMaster, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] { Read(); });
    m_openWatch.setInterval(5);
    connect(&m_openWatch, &QTimer::timeout, this, [this] {
        if (!IsOpenedRaw())
            return;
        m_openWatch.stop();
        if (greetEachOpen)
            return;  // at the flush of each open instead
        if (!m_bGreeted && !greeting.isEmpty())
            Write(greeting);
        m_bGreeted = true;
    });
    m_openWatch.start();
}

PtyDevice::~PtyDevice()
{
    PullOut();
    if (m_nSlave >= 0)
        ::close(m_nSlave);
}

bool PtyDevice::IsOpenedRaw() const
{
    // The master reads the slave's modes: raw once the program has set up its line.
    termios mode{};
    return m_nMaster >= 0 && ::tcgetattr(m_nMaster, &mode) == 0 && !(mode.c_lflag & ICANON);
}

void PtyDevice::Write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size() && m_nMaster >= 0) {
        const ssize_t written = ::write(m_nMaster, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (written > 0) {
            done += written;
        } else if (errno == EAGAIN) {
            Read();  // the program may be waiting for us to take its bytes
            pollfd writable{m_nMaster, POLLOUT, 0};
            ::poll(&writable, 1, 10);
        } else if (errno != EINTR) {
            return;
        }
    }
}

qsizetype PtyDevice::WriteSome(QByteArrayView bytes)
{
    qsizetype done = 0;
    while (done < bytes.size() && m_nMaster >= 0) {
        const ssize_t written = ::write(m_nMaster, bytes.data() + done, std::size_t(bytes.size() - done));
        if (written > 0)
            done += written;
        else if (errno != EINTR)
            break;
    }
    return done;
}

void PtyDevice::SetReading(bool reading)
{
    if (m_pNotifier)
        m_pNotifier->setEnabled(reading);
    if (reading)
        Read();
}

bool PtyDevice::IsExclusive() const
{
    int exclusive = 0;
    return m_nSlave >= 0 && ::ioctl(m_nSlave, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

bool PtyDevice::SetOwner(uid_t user, gid_t group, mode_t mode)
{
    return m_nSlave >= 0 && ::fchown(m_nSlave, user, group) == 0 && ::fchmod(m_nSlave, mode) == 0;
}

void PtyDevice::PullOut()
{
    delete m_pNotifier;
    m_pNotifier = nullptr;
    m_openWatch.stop();
    if (m_nMaster >= 0)
        ::close(m_nMaster);
    m_nMaster = -1;
}

QList<QByteArray> PtyDevice::Lines() const
{
    QList<QByteArray> lines = received.split('\r');
    lines.removeLast();  // after the last CR: no line yet
    return lines;
}

void PtyDevice::Read()
{
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(m_nMaster, buffer, sizeof buffer);
        if (count <= 0)
            break;
        if (buffer[0] == TIOCPKT_DATA)
            received.append(buffer + 1, count - 1);
        else if ((buffer[0] & TIOCPKT_FLUSHREAD) && greetEachOpen && !greeting.isEmpty())
            Write(greeting);
    }
    if (answer.isEmpty())
        return;
    for (const qsizetype lines = received.count('\r'); m_nAnswered < lines; ++m_nAnswered)
        Write(answer);
}
