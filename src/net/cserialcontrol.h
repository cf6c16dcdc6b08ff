// The control calls of a serial line beside its bytes: the modem lines (read, set, waited on), the
// break condition and the RS-485 mode. The line reaches the driver only through this, so that a test
// can stand in for a driver that has what a pseudo-terminal lacks. Each call returns 0 or an errno.
#pragma once

#include <QtGlobal>

class CSerialControl
{
public:
    // RS-485 as TIOCSRS485 takes it.
    struct Rs485
    {
        bool enabled = false;
        bool rtsOnSend = true;  // RTS is on while sending (else after sending)
        int delayBeforeMs = 0;
        int delayAfterMs = 0;
        bool operator==(const Rs485 &) const = default;
    };

    virtual ~CSerialControl();

    // The modem lines as TIOCM_* bits.
    virtual int GetLines(int handle, int *bits) = 0;
    // Sets (on) or clears TIOCM_* `bits`.
    virtual int SetLines(int handle, int bits, bool on) = 0;
    // Starts or ends the break condition.
    virtual int SetBreak(int handle, bool on) = 0;
    // Waits until an input line (CTS, DSR, DCD, RI) changes; EINTR when the thread was interrupted,
    // ENOTTY or EINVAL where the driver cannot wait. May return 0 without a change.
    virtual int WaitLines(int handle) = 0;
    virtual int SetRs485(int handle, const Rs485 &rs485) = 0;

    // The driver's own calls; the one every line uses unless a test sets another.
    static CSerialControl *System();
    // Tests: the control lines opened from now on use (null: the system's again).
    static void Use(CSerialControl *control);
    static CSerialControl *Current();
};
