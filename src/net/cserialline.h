// A serial device opened for this program alone and set to raw bytes with the line settings asked
// for; its control lines and the receive errors its driver counts. POSIX terminals.
#pragma once

#include "net/cserialcontrol.h"
#include "net/cserialsettings.h"

#include <QString>
#include <QtGlobal>

class CSerialLine
{
public:
    // The step of Open that failed.
    enum Step { STEP_NONE, STEP_OPEN, STEP_LOCK, STEP_TERMINAL, STEP_SETTINGS, STEP_RS485 };
    // Receive errors counted by the driver since the device was opened.
    struct Counts
    {
        quint64 frame = 0;
        quint64 parity = 0;
        quint64 overrun = 0;
    };

    CSerialLine() = default;
    CSerialLine(const CSerialLine &) = delete;
    CSerialLine &operator=(const CSerialLine &) = delete;
    ~CSerialLine();

    // Opens the device, locks it against other programs and applies the settings, the control
    // lines included; false with FailedStep() and Error() (an errno value).
    bool Open(const CSerialSettings &settings);
    void Close();
    int Handle() const { return m_nHandle; }
    Step FailedStep() const { return m_step; }
    int Error() const { return m_nError; }

    // The modem lines as TIOCM_* bits; -1 where the device has none (a pseudo-terminal).
    int ModemLines() const;
    // Sets or clears the output lines `bits` (TIOCM_DTR, TIOCM_RTS), starts or ends a break: 0 or
    // the errno (ENOTTY, EINVAL: the device has no such line).
    int SetLines(int bits, bool on);
    int SetBreak(bool on);
    // The control calls this open uses (the system's unless a test set others).
    CSerialControl *Control() const { return m_pControl; }
    // False where the driver counts no errors (a pseudo-terminal, most USB adapters).
    bool ErrorCounts(Counts *counts) const;
    // Who owns the device file and whether its group may read and write it.
    struct Owners
    {
        QString user;   // empty when the file cannot be looked at
        QString group;  // "dialout"
        bool groupReadWrite = false;
    };
    static Owners DeviceOwners(const QString &path);

private:
    bool Fail(Step step);
    // A baud that has no Bnnn constant, set through the kernel's other-rate interface.
    static int SetOtherBaud(int handle, int baud);

    int m_nHandle = -1;
    CSerialControl *m_pControl = CSerialControl::System();
    bool m_bExclusive = false;  // this open set TIOCEXCL, which outlives it unless cleared
    Step m_step = STEP_NONE;
    int m_nError = 0;
};
