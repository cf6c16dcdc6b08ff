#include "net/cserialcontrol.h"

#include <atomic>
#include <cerrno>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace {

int Result(int returned)
{
    return returned == 0 ? 0 : errno;
}

class CSystemControl final : public CSerialControl
{
public:
    int GetLines(int handle, int *bits) override { return Result(::ioctl(handle, TIOCMGET, bits)); }
    int SetLines(int handle, int bits, bool on) override { return Result(::ioctl(handle, on ? TIOCMBIS : TIOCMBIC, &bits)); }
    int SetBreak(int handle, bool on) override { return Result(::ioctl(handle, on ? TIOCSBRK : TIOCCBRK)); }
    int WaitLines(int handle) override
    {
        return Result(::ioctl(handle, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG));
    }
    int SetRs485(int handle, const Rs485 &rs485) override
    {
        serial_rs485 mode{};
        if (rs485.enabled) {
            mode.flags = SER_RS485_ENABLED | (rs485.rtsOnSend ? SER_RS485_RTS_ON_SEND : SER_RS485_RTS_AFTER_SEND);
            mode.delay_rts_before_send = __u32(rs485.delayBeforeMs);
            mode.delay_rts_after_send = __u32(rs485.delayAfterMs);
        }
        return Result(::ioctl(handle, TIOCSRS485, &mode));
    }
};

std::atomic<CSerialControl *> g_pUsed{nullptr};

}  // namespace

CSerialControl::~CSerialControl() = default;

CSerialControl *CSerialControl::System()
{
    static CSystemControl control;
    return &control;
}

void CSerialControl::Use(CSerialControl *control)
{
    g_pUsed.store(control);
}

CSerialControl *CSerialControl::Current()
{
    CSerialControl *used = g_pUsed.load();
    return used ? used : System();
}
