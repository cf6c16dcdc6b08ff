#include "net/cserialdevices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

QString Under(const QString &root, const QString &path)
{
    return QDir::cleanPath(root + QLatin1Char('/') + path);
}

QString ReadLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readLine(256)).trimmed();
}

// The target of a link, made absolute against the link's folder; empty when it is no link.
QString LinkTarget(const QString &link)
{
    char target[4096];
    const ssize_t length = ::readlink(QFile::encodeName(link).constData(), target, sizeof target);
    if (length <= 0 || length == ssize_t(sizeof target))
        return QString();
    const QString text = QFile::decodeName(QByteArray(target, length));
    return QDir::cleanPath(QFileInfo(link).absoluteDir().absoluteFilePath(text));
}

// A process `pid` that lives (or is someone else's).
bool Alive(long pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno == EPERM);
}

}  // namespace

QString CSerialDevices::DriverOf(const QString &device, const QString &root)
{
    const QFileInfo info(device);
    const QString real = info.isSymLink() ? LinkTarget(device) : QDir::cleanPath(info.absoluteFilePath());
    const QString name = QFileInfo(real).fileName();
    const QString driver = LinkTarget(Under(root, QStringLiteral("sys/class/tty/%1/device/driver").arg(name)));
    if (!driver.isEmpty())
        return QFileInfo(driver).fileName();
    if (real.startsWith(Under(root, QStringLiteral("dev/pts")) + QLatin1Char('/')) || name == QLatin1String("ptmx"))
        return QStringLiteral("pty");
    return QString();
}

CSerialDevices::Device CSerialDevices::Describe(const QString &root, const QString &path, const QString &name)
{
    Device device;
    device.path = path;
    device.name = name;
    const QString tty = Under(root, QStringLiteral("sys/class/tty/") + name);
    device.driver = QFileInfo(LinkTarget(tty + QStringLiteral("/device/driver"))).fileName();
    // The USB device that holds the port: a few folders up from the tty's device (the interface).
    QString folder = LinkTarget(tty + QStringLiteral("/device"));
    const QString sys = Under(root, QStringLiteral("sys"));
    for (int up = 0; up < 4 && folder.startsWith(sys + QLatin1Char('/')); ++up, folder = QFileInfo(folder).path()) {
        if (QFileInfo::exists(folder + QStringLiteral("/product")) || QFileInfo::exists(folder + QStringLiteral("/manufacturer"))) {
            device.description = ReadLine(folder + QStringLiteral("/product"));
            device.maker = ReadLine(folder + QStringLiteral("/manufacturer"));
            device.serial = ReadLine(folder + QStringLiteral("/serial"));
            break;
        }
    }
    device.busy = IsBusy(root, name, Under(root, QStringLiteral("dev/") + name));
    return device;
}

bool CSerialDevices::IsBusy(const QString &root, const QString &name, const QString &devicePath)
{
    // A lock file of the UUCP convention whose process lives.
    for (const char *folder : {"run/lock", "var/lock"}) {
        const QString pid = ReadLine(Under(root, QLatin1String(folder) + QStringLiteral("/LCK..") + name));
        if (!pid.isEmpty() && Alive(pid.toLong()))
            return true;
    }
    // A process that has it open (those of this user, and all of them for root).
    const QDir proc(Under(root, QStringLiteral("proc")));
    const QString own = QString::number(::getpid());
    for (const QString &pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (pid == own || pid.front() < QLatin1Char('0') || pid.front() > QLatin1Char('9'))
            continue;
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        for (const QString &fd : fds.entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
            if (QFileInfo(fds.filePath(fd)).symLinkTarget() == devicePath || LinkTarget(fds.filePath(fd)) == devicePath)
                return true;
        }
    }
    return false;
}

QList<CSerialDevices::Device> CSerialDevices::Scan(const QString &root)
{
    QList<Device> devices;
    const QDir dev(Under(root, QStringLiteral("dev")));
    const QDir::Filters files = QDir::Files | QDir::System | QDir::NoDotAndDotDot;
    for (const char *pattern : {"ttyUSB*", "ttyACM*", "ttyS*"}) {
        QStringList names = dev.entryList({QLatin1String(pattern)}, files);
        // ttyUSB2 before ttyUSB10.
        std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        for (const QString &name : names) {
            const QString tty = Under(root, QStringLiteral("sys/class/tty/") + name);
            if (!QFileInfo::exists(tty + QStringLiteral("/device")))
                continue;  // no driver serves it
            // The 8250 driver registers ports that have no hardware behind them: type 0 (unknown).
            if (name.startsWith(QLatin1String("ttyS")) && ReadLine(tty + QStringLiteral("/type")) == QLatin1String("0"))
                continue;
            devices.append(Describe(root, dev.filePath(name), name));
        }
    }
    // The names that stay the same when an adapter moves to another port or is plugged in later.
    const QDir byId(Under(root, QStringLiteral("dev/serial/by-id")));
    for (const QString &link : byId.entryList(files, QDir::Name)) {
        const QString target = LinkTarget(byId.filePath(link));
        if (target.isEmpty() || !QFileInfo::exists(target))
            continue;
        Device device = Describe(root, byId.filePath(link), QFileInfo(target).fileName());
        devices.append(device);
    }
    return devices;
}

QString CSerialDevices::Label(const Device &device)
{
    QStringList about;
    for (const QString &text : {device.description, device.maker})
        if (!text.isEmpty())
            about.append(text);
    if (!device.serial.isEmpty())
        about.append(QStringLiteral("S/N ") + device.serial);
    if (device.path.contains(QLatin1String("/by-id/")))
        about.append(QStringLiteral("→ ") + device.name);
    QString label = device.path;
    if (!about.isEmpty())
        label += QStringLiteral("  (") + about.join(QStringLiteral("  ")) + QLatin1Char(')');
    if (device.busy)
        label += QStringLiteral("  使用中");
    return label;
}
