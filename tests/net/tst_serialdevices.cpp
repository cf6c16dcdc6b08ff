// The device list on a tree of its own: a /dev and a /sys as the kernel lays them out, with USB
// adapters, 8250 ports with and without hardware, stable by-id names, lock files and processes that
// hold a device open.
#include "net/cserialdevices.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

// Builds the tree below a temporary root.
struct Tree
{
    QTemporaryDir dir;
    QString Path(const QString &path) const { return QDir::cleanPath(dir.path() + QLatin1Char('/') + path); }
    void File(const QString &path, const QByteArray &content = QByteArray()) const
    {
        QDir().mkpath(QFileInfo(Path(path)).path());
        QFile file(Path(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    void Link(const QString &path, const QString &target) const
    {
        QDir().mkpath(QFileInfo(Path(path)).path());
        QVERIFY(QFile::link(target.startsWith(QLatin1Char('/')) ? Path(target) : target, Path(path)));
    }
    // A tty of a USB adapter: its device, its driver, and the USB device's texts two folders up.
    void Usb(const QString &name, const QString &driver, const QByteArray &product, const QByteArray &maker, const QByteArray &serial) const
    {
        File(QStringLiteral("dev/") + name);
        const QString usb = QStringLiteral("sys/devices/pci0/usb1/1-%1").arg(name);
        const QString port = usb + QStringLiteral("/1-1:1.0/") + name;
        QDir().mkpath(Path(port));
        QDir().mkpath(Path(QStringLiteral("sys/bus/usb-serial/drivers/") + driver));
        Link(port + QStringLiteral("/driver"), QStringLiteral("/sys/bus/usb-serial/drivers/") + driver);
        Link(QStringLiteral("sys/class/tty/%1/device").arg(name), QLatin1Char('/') + port);
        File(usb + QStringLiteral("/product"), product + '\n');
        File(usb + QStringLiteral("/manufacturer"), maker + '\n');
        File(usb + QStringLiteral("/serial"), serial + '\n');
    }
    // An 8250 port; `type` 0 has no hardware behind it.
    void Uart(const QString &name, const QByteArray &type) const
    {
        File(QStringLiteral("dev/") + name);
        QDir().mkpath(Path(QStringLiteral("sys/devices/platform/serial8250/tty/") + name));
        Link(QStringLiteral("sys/class/tty/%1/device").arg(name), QStringLiteral("/sys/devices/platform/serial8250"));
        File(QStringLiteral("sys/class/tty/%1/type").arg(name), type + '\n');
    }
};

}  // namespace

class TestSerialDevices : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void theListFollowsTheTree_data()
    {
        QTest::addColumn<QStringList>("build");  // what the tree holds, one word a thing
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("nothing") << QStringList{} << QStringList{};
        QTest::newRow("adapters in order, with their texts")
            << QStringList{"usb10", "usb2", "acm0"}
            << QStringList{"/dev/ttyUSB2  (FT232R USB UART  FTDI  S/N A10K2)", "/dev/ttyUSB10  (FT232R USB UART  FTDI  S/N A10K10)",
                           "/dev/ttyACM0  (Pico  Raspberry Pi  S/N E66)"};
        QTest::newRow("8250 ports: only those with hardware") << QStringList{"uart0:4", "uart1:0", "bare2"} << QStringList{"/dev/ttyS0"};
        QTest::newRow("by-id names follow their adapter, a dangling one is left out")
            << QStringList{"usb2", "byid:ttyUSB2", "byid:ttyUSB7"}
            << QStringList{"/dev/ttyUSB2  (FT232R USB UART  FTDI  S/N A10K2)",
                           "/dev/serial/by-id/usb-ttyUSB2  (FT232R USB UART  FTDI  S/N A10K2  → ttyUSB2)"};
        QTest::newRow("busy: a live lock, a process that holds it; a stale lock is no use")
            << QStringList{"usb0", "usb1", "usb2", "lock:ttyUSB0:self", "fd:ttyUSB1", "lock:ttyUSB2:dead"}
            << QStringList{"/dev/ttyUSB0  (FT232R USB UART  FTDI  S/N A10K0)  使用中", "/dev/ttyUSB1  (FT232R USB UART  FTDI  S/N A10K1)  使用中",
                           "/dev/ttyUSB2  (FT232R USB UART  FTDI  S/N A10K2)"};
    }
    void theListFollowsTheTree()
    {
        QFETCH(QStringList, build);
        QFETCH(QStringList, labels);
        Tree tree;
        QVERIFY(tree.dir.isValid());
        for (const QString &thing : build) {
            const QStringList word = thing.split(QLatin1Char(':'));
            if (word[0].startsWith(QLatin1String("usb")))
                tree.Usb(QStringLiteral("ttyUSB") + word[0].mid(3), QStringLiteral("ftdi_sio"), "FT232R USB UART", "FTDI", "A10K" + word[0].mid(3).toLatin1());
            else if (word[0].startsWith(QLatin1String("acm")))
                tree.Usb(QStringLiteral("ttyACM") + word[0].mid(3), QStringLiteral("cdc_acm"), "Pico", "Raspberry Pi", "E66");
            else if (word[0].startsWith(QLatin1String("uart")))
                tree.Uart(QStringLiteral("ttyS") + word[0].mid(4), word[1].toLatin1());
            else if (word[0].startsWith(QLatin1String("bare")))
                tree.File(QStringLiteral("dev/ttyS") + word[0].mid(4));
            else if (word[0] == QLatin1String("byid"))
                tree.Link(QStringLiteral("dev/serial/by-id/usb-") + word[1], QStringLiteral("../../") + word[1]);
            else if (word[0] == QLatin1String("lock"))
                tree.File(QStringLiteral("run/lock/LCK..") + word[1],
                          QByteArray::number(word[2] == QLatin1String("self") ? qint64(::getpid()) : qint64(999999999)).rightJustified(10, ' ') + '\n');
            else if (word[0] == QLatin1String("fd"))
                tree.Link(QStringLiteral("proc/4242/fd/7"), QStringLiteral("/dev/") + word[1]);
        }
        QStringList shown;
        for (const CSerialDevices::Device &device : CSerialDevices::Scan(tree.dir.path()))
            shown << CSerialDevices::Label(device).replace(tree.dir.path(), QString());
        QCOMPARE(shown, labels);
    }

    void theDriverOfADevice_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("driver");
        QTest::newRow("a USB adapter") << QStringLiteral("dev/ttyUSB0") << QStringLiteral("ftdi_sio");
        QTest::newRow("through its by-id name") << QStringLiteral("dev/serial/by-id/usb-ttyUSB0") << QStringLiteral("ftdi_sio");
        QTest::newRow("a pseudo-terminal") << QStringLiteral("dev/pts/3") << QStringLiteral("pty");
        QTest::newRow("not known") << QStringLiteral("dev/ttyX9") << QString();
    }
    void theDriverOfADevice()
    {
        QFETCH(QString, device);
        QFETCH(QString, driver);
        Tree tree;
        tree.Usb(QStringLiteral("ttyUSB0"), QStringLiteral("ftdi_sio"), "FT232R USB UART", "FTDI", "A1");
        tree.Link(QStringLiteral("dev/serial/by-id/usb-ttyUSB0"), QStringLiteral("../../ttyUSB0"));
        tree.File(QStringLiteral("dev/pts/3"));
        QCOMPARE(CSerialDevices::DriverOf(tree.Path(device), tree.dir.path()), driver);
    }
};

QTEST_GUILESS_MAIN(TestSerialDevices)
#include "tst_serialdevices.moc"
