// The serial devices of the machine as the device list offers them: /dev/ttyUSB*, ttyACM* and the
// ttyS* a driver really serves, then the stable names under /dev/serial/by-id, each with what sysfs
// says of it (driver, description, maker, serial number) and whether some program has it open.
// Everything is read below a root folder ("/" on the machine), so a test can build its own tree.
#pragma once

#include <QList>
#include <QString>

class CSerialDevices
{
public:
    struct Device
    {
        QString path;         // "/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_…-if00-port0"
        QString name;         // the tty's name: "ttyUSB0" (a by-id name: its target's)
        QString driver;       // "ftdi_sio", "cdc_acm", "serial" (empty: not known)
        QString description;  // the USB product text
        QString maker;        // the USB manufacturer text
        QString serial;       // the USB serial number
        bool busy = false;    // another program has it open or locked
        bool operator==(const Device &) const = default;
    };

    // The devices below `root`, in the order the list shows them.
    static QList<Device> Scan(const QString &root = QStringLiteral("/"));
    // The driver of the tty `device` is ("pty" for a pseudo-terminal; empty: not known).
    static QString DriverOf(const QString &device, const QString &root = QStringLiteral("/"));
    // The list's text of a device: "/dev/ttyUSB0  (FT232R USB UART  FTDI  S/N A10K1234)  使用中".
    static QString Label(const Device &device);

private:
    static Device Describe(const QString &root, const QString &path, const QString &name);
    static bool IsBusy(const QString &root, const QString &name, const QString &devicePath);
};
