// The other-rate interface of the kernel (termios2, BOTHER) for a baud with no Bnnn constant. Apart
// from cserialline.cpp because its headers and the C library's <termios.h> cannot meet.
#include "net/cserialline.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

int CSerialLine::SetOtherBaud(int handle, int baud)
{
    termios2 mode{};
    if (::ioctl(handle, TCGETS2, &mode) != 0)
        return errno;
    mode.c_cflag &= ~CBAUD;
    mode.c_cflag |= BOTHER;
    mode.c_ispeed = speed_t(baud);
    mode.c_ospeed = speed_t(baud);
    return ::ioctl(handle, TCSETS2, &mode) != 0 ? errno : 0;
}
