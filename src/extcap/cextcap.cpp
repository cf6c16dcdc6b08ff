#include "extcap/cextcap.h"

#include "display/ctracerecorder.h"
#include "net/cserialline.h"
#include "platform/csignalquit.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

struct CExtcap::Connection
{
    int fd = -1;
    quint64 number = 0;
    CSocketAddress own;
    CSocketAddress peer;
    bool ownOpened = true;
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<CSerialLine> line;
};

namespace {

qint64 Now()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

CSocketAddress Name(int fd, bool peer)
{
    sockaddr_storage name{};
    socklen_t length = sizeof name;
    const int result = peer ? ::getpeername(fd, reinterpret_cast<sockaddr *>(&name), &length)
                            : ::getsockname(fd, reinterpret_cast<sockaddr *>(&name), &length);
    return result == 0 ? CSocketAddress::FromSockaddr(reinterpret_cast<sockaddr *>(&name), length) : CSocketAddress();
}

void Complain(const QString &text)
{
    std::fprintf(stderr, "quillnet-extcap: %s\n", text.toLocal8Bit().constData());
}

}  // namespace

CExtcap::CExtcap() = default;

CExtcap::~CExtcap()
{
    for (const int fd : m_connections.keys())
        Drop(fd);
    if (m_nListen >= 0)
        ::close(m_nListen);
}

QByteArray CExtcap::Interfaces()
{
    return QByteArray("extcap {version=" QN_VERSION "}\n")
           + "interface {value=" + kTcpServer + "}{display=Quillnet TCP server (受信を記録)}\n"
           + "interface {value=" + kTcpClient + "}{display=Quillnet TCP client (受信を記録)}\n"
           + "interface {value=" + kSerial + "}{display=Quillnet serial line (受信を記録)}\n";
}

QByteArray CExtcap::Dlts(const QString &interface)
{
    if (interface == QLatin1String(kSerial))
        return "dlt {number=252}{name=WIRESHARK_UPPER_PDU}{display=Exported PDU}\n";
    return "dlt {number=101}{name=RAW}{display=Raw IP}\n";
}

QByteArray CExtcap::Config(const QString &interface)
{
    QByteArray config;
    if (interface == QLatin1String(kTcpServer)) {
        config += "arg {number=0}{call=--port}{display=待受ﾎﾟｰﾄ}{type=unsigned}{range=1,65535}{default=5000}{required=true}\n";
    } else if (interface == QLatin1String(kTcpClient)) {
        config += "arg {number=0}{call=--host}{display=接続先ｱﾄﾞﾚｽ}{type=string}{default=127.0.0.1}{required=true}\n";
        config += "arg {number=1}{call=--port}{display=接続先ﾎﾟｰﾄ}{type=unsigned}{range=1,65535}{required=true}\n";
    } else if (interface == QLatin1String(kSerial)) {
        config += "arg {number=0}{call=--device}{display=ﾃﾞﾊﾞｲｽ}{type=string}{default=/dev/ttyUSB0}{required=true}\n";
        config += "arg {number=1}{call=--baud}{display=ﾎﾞｰﾚｰﾄ}{type=unsigned}{default=9600}\n";
        config += "arg {number=2}{call=--dissector}{display=ﾃﾞｨｾｸﾀ (data, mbrtu …)}{type=string}{default=data}\n";
    }
    return config;
}

int CExtcap::Run(const QStringList &arguments, QByteArray *out)
{
    QMap<QString, QString> options;
    QStringList flags;
    for (int i = 1; i < arguments.size(); ++i) {
        QString name = arguments.at(i);
        if (!name.startsWith(QStringLiteral("--")))
            continue;
        if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq > 0) {
            options.insert(name.left(eq), name.mid(eq + 1));
            continue;
        }
        static const char *const valued[] = {"--extcap-interface", "--extcap-version", "--fifo", "--extcap-capture-filter",
                                             "--port", "--host", "--device", "--baud", "--dissector"};
        const bool takesValue = std::any_of(std::begin(valued), std::end(valued),
                                            [&name](const char *option) { return name == QLatin1String(option); });
        if (takesValue && i + 1 < arguments.size())
            options.insert(name, arguments.at(++i));
        else
            flags << name;
    }
    const QString interface = options.value(QStringLiteral("--extcap-interface"));
    const bool known = interface == QLatin1String(kTcpServer) || interface == QLatin1String(kTcpClient)
                       || interface == QLatin1String(kSerial);
    if (flags.contains(QStringLiteral("--extcap-interfaces"))) {
        *out = Interfaces();
        return 0;
    }
    if ((flags.contains(QStringLiteral("--extcap-dlts")) || flags.contains(QStringLiteral("--extcap-config")) ||
         flags.contains(QStringLiteral("--capture"))) && !known) {
        Complain(QStringLiteral("no such interface: %1").arg(interface));
        return 2;
    }
    if (flags.contains(QStringLiteral("--extcap-dlts"))) {
        *out = Dlts(interface);
        return 0;
    }
    if (flags.contains(QStringLiteral("--extcap-config"))) {
        *out = Config(interface);
        return 0;
    }
    if (flags.contains(QStringLiteral("--capture")))
        return Capture(interface, options);
    Complain(QStringLiteral("usage: quillnet-extcap --extcap-interfaces | --extcap-interface NAME "
                            "(--extcap-dlts | --extcap-config | --capture --fifo PATH [--port N] [--host H] [--device D] [--baud B] [--dissector NAME])"));
    return 2;
}

int CExtcap::Capture(const QString &interface, const QMap<QString, QString> &options)
{
    const QString fifo = options.value(QStringLiteral("--fifo"));
    if (fifo.isEmpty()) {
        Complain(QStringLiteral("--capture needs --fifo"));
        return 2;
    }
    bool opened = false;
    const unsigned port = options.value(QStringLiteral("--port")).toUInt();
    if (interface == QLatin1String(kTcpServer)) {
        opened = Listen(port);
    } else if (interface == QLatin1String(kTcpClient)) {
        opened = Connect(options.value(QStringLiteral("--host"), QStringLiteral("127.0.0.1")), port);
    } else {
        m_bSerial = true;
        opened = OpenLine(options.value(QStringLiteral("--device")), options.value(QStringLiteral("--baud"), QStringLiteral("9600")));
    }
    if (!opened)
        return 1;
    m_pRecorder = std::make_unique<CTraceRecorder>();
    QString error;
    // Opening the FIFO for writing waits for the analyser to read it; it is there already.
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0 || !m_pRecorder->OpenDescriptor(fd, options.value(QStringLiteral("--dissector")).toLatin1(), &error)) {
        Complain(QStringLiteral("%1: %2").arg(fifo, fd < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : error));
        return 1;
    }
    connect(m_pRecorder.get(), &CTraceRecorder::Failed, qApp, [this](const QString &) {
        // The analyser stopped reading: the capture is over.
        QCoreApplication::exit(m_nExit);
    });
    CSignalQuit quit(nullptr, false);
    connect(&quit, &CSignalQuit::Received, qApp, [] { QCoreApplication::exit(0); });
    for (const auto &connection : m_connections)
        Watch(connection->fd);
    if (m_nListen >= 0) {
        m_pListenNotifier = std::make_unique<QSocketNotifier>(m_nListen, QSocketNotifier::Read);
        connect(m_pListenNotifier.get(), &QSocketNotifier::activated, this, &CExtcap::Accept);
    }
    const int code = QCoreApplication::exec();
    for (const int open : m_connections.keys())
        Drop(open);
    m_pRecorder->Close(std::chrono::milliseconds(2000));
    return code;
}

bool CExtcap::Listen(unsigned port)
{
    m_nListen = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int off = 0, on = 1;
    ::setsockopt(m_nListen, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    ::setsockopt(m_nListen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in6 any{};
    any.sin6_family = AF_INET6;
    any.sin6_port = htons(quint16(port));
    any.sin6_addr = in6addr_any;
    if (m_nListen < 0 || ::bind(m_nListen, reinterpret_cast<sockaddr *>(&any), sizeof any) != 0 || ::listen(m_nListen, 16) != 0) {
        Complain(QStringLiteral("port %1: %2").arg(port).arg(QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    return true;
}

bool CExtcap::Connect(const QString &host, unsigned port)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const QByteArray service = QByteArray::number(port);
    if (::getaddrinfo(CSocketAddress::WithoutBrackets(host).toUtf8().constData(), service.constData(), &hints, &found) != 0 || !found) {
        Complain(QStringLiteral("%1: no such host").arg(host));
        return false;
    }
    int fd = -1;
    for (addrinfo *at = found; at && fd < 0; at = at->ai_next) {
        fd = ::socket(at->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, at->ai_addr, at->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        Complain(QStringLiteral("%1:%2: %3").arg(host).arg(port).arg(QString::fromLocal8Bit(std::strerror(errno))));
        return false;
    }
    auto connection = std::make_shared<Connection>();
    connection->fd = fd;
    connection->number = m_nNextConnection++;
    connection->own = Name(fd, false);
    connection->peer = Name(fd, true);
    m_connections.insert(fd, connection);
    m_bEndWhenIdle = true;
    return true;
}

bool CExtcap::OpenLine(const QString &device, const QString &baud)
{
    CSerialSettings settings;
    QString error;
    if (!CSerialSettings::Parse({device, baud}, &settings, &error)) {
        Complain(error);
        return false;
    }
    auto connection = std::make_shared<Connection>();
    connection->line = std::make_unique<CSerialLine>();
    if (!connection->line->Open(settings)) {
        Complain(QStringLiteral("%1: %2").arg(device, QString::fromLocal8Bit(std::strerror(connection->line->Error()))));
        return false;
    }
    connection->fd = connection->line->Handle();
    m_connections.insert(connection->fd, connection);
    m_bEndWhenIdle = true;
    return true;
}

void CExtcap::Accept()
{
    const int fd = ::accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    auto connection = std::make_shared<Connection>();
    connection->fd = fd;
    connection->number = m_nNextConnection++;
    connection->own = Name(fd, false);
    connection->peer = Name(fd, true);
    connection->ownOpened = false;
    m_connections.insert(fd, connection);
    Watch(fd);
}

void CExtcap::Watch(int fd)
{
    const auto connection = m_connections.value(fd);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    connection->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(connection->notifier.get(), &QSocketNotifier::activated, this, [this, fd] { Read(fd); });
}

void CExtcap::Read(int fd)
{
    const auto connection = m_connections.value(fd);
    if (!connection)
        return;
    QByteArray buffer(65536, Qt::Uninitialized);
    const ssize_t n = ::read(fd, buffer.data(), size_t(buffer.size()));
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        Drop(fd);
        if (m_bEndWhenIdle && m_connections.isEmpty())
            QCoreApplication::exit(0);
        return;
    }
    buffer.truncate(n);
    CTraceTelegram telegram;
    telegram.carrier = m_bSerial ? CTraceTelegram::Serial : CTraceTelegram::Tcp;
    telegram.direction = 'R';
    telegram.own = connection->own;
    telegram.peer = connection->peer;
    telegram.ownOpened = connection->ownOpened;
    telegram.connection = connection->number;
    telegram.microseconds = Now();
    telegram.bytes = buffer;
    m_pRecorder->Write(telegram);
}

void CExtcap::Drop(int fd)
{
    const auto connection = m_connections.take(fd);
    if (!connection)
        return;
    connection->notifier.reset();
    if (m_pRecorder && !m_bSerial)
        m_pRecorder->EndConnection(connection->number, Now());
    if (connection->line)
        connection->line->Close();
    else
        ::close(fd);
}
