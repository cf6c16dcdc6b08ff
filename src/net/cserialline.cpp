#include "net/cserialline.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace {

struct Rate
{
    int baud;
    speed_t code;
};

constexpr Rate kRates[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200}, {300, B300}, {600, B600},
    {1200, B1200}, {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600}, {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
    {500000, B500000}, {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

speed_t RateCode(int baud)
{
    for (const Rate &rate : kRates) {
        if (rate.baud == baud)
            return rate.code;
    }
    return B0;
}

}  // namespace

CSerialLine::~CSerialLine()
{
    Close();
}

bool CSerialLine::Fail(Step step)
{
    m_step = step;
    m_nError = errno;
    Close();
    return false;
}

bool CSerialLine::Open(const CSerialSettings &settings)
{
    Close();
    m_step = STEP_NONE;
    m_nError = 0;
    m_pControl = CSerialControl::Current();
    m_nHandle = ::open(QFile::encodeName(settings.device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_nHandle < 0)
        return Fail(STEP_OPEN);
    // One program on a line: a second one (this or another that locks) is refused, not interleaved.
    if (::flock(m_nHandle, LOCK_EX | LOCK_NB) != 0)
        return Fail(STEP_LOCK);
    // And further opens fail, for programs that do not lock. The flag belongs to the device, not to
    // this handle: Close clears it, or the line stays barred after us while its other end is open.
    // Root opens past another's flag; that one is left as it is.
    int taken = 0;
    if (::ioctl(m_nHandle, TIOCGEXCL, &taken) != 0 || !taken)
        m_bExclusive = ::ioctl(m_nHandle, TIOCEXCL) == 0;
    termios mode{};
    if (::tcgetattr(m_nHandle, &mode) != 0)
        return Fail(STEP_TERMINAL);
    ::cfmakeraw(&mode);
    mode.c_cflag |= CLOCAL | CREAD;
    mode.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    mode.c_cflag |= settings.dataBits == 5 ? CS5 : settings.dataBits == 6 ? CS6 : settings.dataBits == 7 ? CS7 : CS8;
    if (settings.parity != 'N')
        mode.c_cflag |= PARENB;
    if (settings.parity == 'O' || settings.parity == 'M')
        mode.c_cflag |= PARODD;
    if (settings.parity == 'M' || settings.parity == 'S')
        mode.c_cflag |= CMSPAR;
    // Two stop bits, which the line sends as 1.5 with five data bits.
    if (settings.stopHalves > 2)
        mode.c_cflag |= CSTOPB;
    mode.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (settings.flow == CSerialSettings::FLOW_RTSCTS)
        mode.c_cflag |= CRTSCTS;
    else if (settings.flow == CSerialSettings::FLOW_XONXOFF)
        mode.c_iflag |= IXON | IXOFF;
    // One byte makes a read: a read without bytes then fails with EAGAIN, and 0 means a hang-up.
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    const speed_t code = RateCode(settings.baud);
    if (code != B0) {
        ::cfsetispeed(&mode, code);
        ::cfsetospeed(&mode, code);
    }
    if (::tcsetattr(m_nHandle, TCSANOW, &mode) != 0)
        return Fail(STEP_SETTINGS);
    if (code == B0 && (errno = SetOtherBaud(m_nHandle, settings.baud)) != 0)
        return Fail(STEP_SETTINGS);
    ::tcflush(m_nHandle, TCIFLUSH);  // what came before the open is no answer to this session
    // RS-485 where asked for: a driver without it fails the open, since the transceiver would not
    // be switched. Asked for nothing, the driver's mode stays as it is.
    if (settings.rs485.enabled && (errno = m_pControl->SetRs485(m_nHandle, settings.rs485)) != 0)
        return Fail(STEP_RS485);
    // The control lines as asked; a device without them (a pseudo-terminal) refuses, which is no fault.
    m_pControl->SetLines(m_nHandle, TIOCM_DTR, settings.dtr);
    if (settings.flow != CSerialSettings::FLOW_RTSCTS && !settings.rs485.enabled)
        m_pControl->SetLines(m_nHandle, TIOCM_RTS, settings.rts);
    return true;
}

void CSerialLine::Close()
{
    if (m_nHandle >= 0) {
        if (std::exchange(m_bExclusive, false))
            ::ioctl(m_nHandle, TIOCNXCL);  // fails harmlessly on a device that has gone
        ::close(m_nHandle);  // the lock goes with it
        m_nHandle = -1;
    }
}

int CSerialLine::ModemLines() const
{
    int lines = 0;
    return m_nHandle >= 0 && m_pControl->GetLines(m_nHandle, &lines) == 0 ? lines : -1;
}

int CSerialLine::SetLines(int bits, bool on)
{
    return m_nHandle < 0 ? EBADF : m_pControl->SetLines(m_nHandle, bits, on);
}

int CSerialLine::SetBreak(bool on)
{
    return m_nHandle < 0 ? EBADF : m_pControl->SetBreak(m_nHandle, on);
}

bool CSerialLine::ErrorCounts(Counts *counts) const
{
    serial_icounter_struct icount{};
    if (m_nHandle < 0 || ::ioctl(m_nHandle, TIOCGICOUNT, &icount) != 0)
        return false;
    counts->frame = quint64(icount.frame);
    counts->parity = quint64(icount.parity);
    counts->overrun = quint64(icount.overrun) + quint64(icount.buf_overrun);
    return true;
}

CSerialLine::Owners CSerialLine::DeviceOwners(const QString &path)
{
    Owners owners;
    struct stat status{};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return owners;
    const passwd *user = ::getpwuid(status.st_uid);
    owners.user = user ? QString::fromLocal8Bit(user->pw_name) : QString::number(status.st_uid);
    const group *group = ::getgrgid(status.st_gid);
    owners.group = group ? QString::fromLocal8Bit(group->gr_name) : QString::number(status.st_gid);
    owners.groupReadWrite = (status.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
    return owners;
}
