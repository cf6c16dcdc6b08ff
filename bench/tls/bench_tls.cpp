// TLS benchmark: 1 MB telegrams echoed over TLS 1.3 on loopback by the program's own frame and view
// (a TLS server with loopback on), by socat (OPENSSL-LISTEN … PIPE), by a bare OpenSSL echo thread
// (the limit) and, over plain TCP, by the program again; alternated in rounds within one run, with
// the same load generator. Then
// the program's TLS client handshaking with a local `openssl s_server`, connect to connected.
#include "../benchapp.h"
#include "../benchserver.h"
#include "net/ctlscertmaker.h"
#include "session/ui/cqnview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// One echo measurement: MB/s of the echo, and the protocol and cipher it ran with.
struct Echo
{
    double mbps = 0;
    QString protocol;
};

// Writes `total` bytes in writes of `telegram` bytes over one connection to `port` (TLS or plain) and
// reads the echo as it comes, in one thread on a non-blocking socket, so that neither side's buffers
// can stop the other; MB/s from the first write to the last byte echoed.
Echo EchoOnce(quint16 port, bool tls, size_t total, size_t telegram)
{
    Echo echo;
    const int fd = ConnectLoopback(port, false);
    if (fd < 0)
        return echo;
    SSL_CTX *context = SSL_CTX_new(TLS_client_method());
    SSL *ssl = nullptr;
    if (tls) {
        SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
        ssl = SSL_new(context);
        SSL_set_fd(ssl, fd);
        if (SSL_connect(ssl) != 1) {
            SSL_free(ssl);
            SSL_CTX_free(context);
            ::close(fd);
            return echo;
        }
        SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        echo.protocol = QString::fromLatin1(SSL_get_version(ssl)) + QLatin1Char(' ') +
                        QString::fromLatin1(SSL_get_cipher_name(ssl));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::vector<char> out(telegram, 'q');
    std::vector<char> in(256 * 1024);
    size_t written = 0, read = 0, atInTelegram = 0;
    const auto start = Clock::now();
    while (read < total && Seconds(start) < 120) {
        bool progressed = false;
        if (written < total) {
            const int length = int(std::min(telegram - atInTelegram, total - written));
            const int n = tls ? SSL_write(ssl, out.data() + atInTelegram, length)
                              : int(::send(fd, out.data() + atInTelegram, size_t(length), MSG_NOSIGNAL));
            if (n > 0) {
                written += size_t(n);
                atInTelegram = (atInTelegram + size_t(n)) % telegram;
                progressed = true;
            }
        }
        const int n = tls ? SSL_read(ssl, in.data(), int(in.size())) : int(::recv(fd, in.data(), in.size(), 0));
        if (n > 0) {
            read += size_t(n);
            progressed = true;
        } else if (n == 0 || (tls && SSL_get_error(ssl, n) != SSL_ERROR_WANT_READ && SSL_get_error(ssl, n) != SSL_ERROR_WANT_WRITE)) {
            break;
        }
        if (!progressed) {
            pollfd p{fd, short(POLLIN | (written < total ? POLLOUT : 0)), 0};
            ::poll(&p, 1, 100);
        }
    }
    if (read >= total)
        echo.mbps = double(total) / (1 << 20) / Seconds(start);
    if (ssl) {
        SSL_shutdown(ssl);
        SSL_free(ssl);
    }
    SSL_CTX_free(context);
    ::close(fd);
    return echo;
}

// Runs the load on a thread of its own while this thread's event loop serves the program.
Echo EchoWhileServing(quint16 port, bool tls, size_t total, size_t telegram)
{
    Echo echo;
    std::atomic<bool> done = false;
    std::thread load([&] {
        echo = EchoOnce(port, tls, total, telegram);
        done = true;
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    load.join();
    return echo;
}

Echo MeasureProgram(const QStringList &tlsTexts, size_t total, size_t telegram)
{
    BenchServer server(true, false, tlsTexts);
    return EchoWhileServing(server.Port(), !tlsTexts.isEmpty(), total, telegram);
}

// The limit of this machine and load generator: a thread of plain blocking OpenSSL calls that
// echoes what it reads, with nothing else to do.
Echo MeasureLimit(const QString &cert, const QString &key, size_t total, size_t telegram)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(listener);
        return {};
    }
    SSL_CTX *context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_chain_file(context, QFile::encodeName(cert).constData());
    SSL_CTX_use_PrivateKey_file(context, QFile::encodeName(key).constData(), SSL_FILETYPE_PEM);
    std::thread server([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        SSL *ssl = SSL_new(context);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) {
            std::vector<char> buffer(256 * 1024);
            for (int n; (n = SSL_read(ssl, buffer.data(), int(buffer.size()))) > 0;) {
                if (SSL_write(ssl, buffer.data(), n) <= 0)
                    break;
            }
        }
        SSL_free(ssl);
        ::close(fd);
    });
    const Echo echo = EchoOnce(ntohs(address.sin_port), true, total, telegram);
    server.join();
    ::close(listener);
    SSL_CTX_free(context);
    return echo;
}

Echo MeasureSocat(const QString &cert, const QString &key, size_t total, size_t telegram)
{
    const quint16 port = FreeLoopbackPort();
    QProcess socat;
    socat.start(QStringLiteral("socat"),
                {QStringLiteral("OPENSSL-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork,cert=%2,key=%3,verify=0").arg(port).arg(cert, key),
                 QStringLiteral("PIPE")});
    if (!socat.waitForStarted(5000))
        return {};
    for (const auto start = Clock::now(); Seconds(start) < 5;) {
        const int probe = ConnectLoopback(port, false);
        if (probe >= 0) {
            ::close(probe);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const Echo echo = EchoOnce(port, true, total, telegram);
    socat.terminate();
    socat.waitForFinished(5000);
    return echo;
}

// The program's TLS client against `openssl s_server`: milliseconds from the connect request to the
// connected state, `count` times.
std::vector<double> MeasureHandshakes(const QString &cert, const QString &key, int count, QString *protocol)
{
    std::vector<double> times;
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(QStringLiteral("openssl"), {QStringLiteral("s_server"), QStringLiteral("-accept"), QStringLiteral("127.0.0.1:0"),
                                             QStringLiteral("-cert"), cert, QStringLiteral("-key"), key});
    QByteArray output;
    const QRegularExpression accept(QStringLiteral("ACCEPT 127\\.0\\.0\\.1:([0-9]+)"));
    QRegularExpressionMatch match;
    while (!(match = accept.match(QString::fromLatin1(output))).hasMatch() && server.waitForReadyRead(5000))
        output += server.readAll();
    if (!match.hasMatch()) {
        server.kill();
        server.waitForFinished(5000);
        return times;
    }
    CQnDoc doc;
    doc.OnNewDocument();
    CMainFrame frame;
    doc.SetSocketType(TYPE_TCP_CLIENT);
    const QStringList slotTexts = {QStringLiteral("127.0.0.1"), match.captured(1), QStringLiteral("0")};
    for (int i = 0; i < slotTexts.size(); ++i)
        doc.SetSlotString(CQnDoc::SLOT_CLIENT_ADDRESS + i, slotTexts[i]);
    const QStringList tls = {QStringLiteral("1"), QStringLiteral("file"), cert};
    for (int i = 0; i < tls.size(); ++i)
        doc.SetSlotString(CQnDoc::SLOT_CLIENT_TLS_FIRST + i, tls[i]);
    CQnView *view = frame.GetActiveView();
    view->OnInitialUpdate(&doc);
    for (int i = 0; i < count; ++i) {
        QElapsedTimer timer;
        timer.start();
        SendMessage(view, WM_SESSION_EVENT, EV_CONNECT, 0);
        while (view->State() == ST_WAIT_CONNECT && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (view->State() == ST_DISCONNECTED)
            break;
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents();
        *protocol = view->ConnectionText();
        SendMessage(view, WM_SESSION_EVENT, EV_DISCONNECT, 0);
        QCoreApplication::processEvents();
    }
    server.kill();
    server.waitForFinished(5000);
    return times;
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApp app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const size_t telegram = 1u << 20;
    const size_t total = (quick ? 32u : 256u) << 20;
    const int rounds = quick ? 3 : 5;

    QTemporaryDir dir;
    const QString cert = dir.filePath(QStringLiteral("bench.pem"));
    const QString key = dir.filePath(QStringLiteral("bench.key"));
    QString error;
    if (!CTlsCertMaker::Make({QStringLiteral("localhost"), QStringLiteral("127.0.0.1")}, cert, key, &error)) {
        std::fprintf(stderr, "no certificate: %s\n", qPrintable(error));
        return 1;
    }
    const QStringList serverTls = {QStringLiteral("1"), cert, key, QString(), QString(), QString(), QStringLiteral("1.3")};

    std::vector<double> program, socat, plain, limit;
    QString programProtocol, socatProtocol;
    MeasureProgram(serverTls, 16u << 20, telegram);  // warm-up, not counted
    for (int round = 0; round < rounds; ++round) {
        // Alternated, the order turning each round, so that a busy moment of the machine falls on each.
        for (int k = 0; k < 4; ++k) {
            switch ((round + k) % 4) {
            case 0: {
                const Echo e = MeasureProgram(serverTls, total, telegram);
                program.push_back(e.mbps);
                programProtocol = e.protocol;
                break;
            }
            case 1: {
                const Echo e = MeasureSocat(cert, key, total, telegram);
                socat.push_back(e.mbps);
                socatProtocol = e.protocol;
                break;
            }
            case 2:
                plain.push_back(MeasureProgram({}, total, telegram).mbps);
                break;
            default:
                limit.push_back(MeasureLimit(cert, key, total, telegram).mbps);
                break;
            }
        }
    }
    std::printf("Echo of %zu MB in 1 MB telegrams over loopback, %d rounds alternated, median (all rounds) MB/s:\n",
                total >> 20, rounds);
    const auto row = [](const char *name, const std::vector<double> &values, const QString &protocol) {
        std::printf("  %-34s %8.1f  (", name, Median(values));
        for (size_t i = 0; i < values.size(); ++i)
            std::printf("%s%.1f", i ? " " : "", values[i]);
        std::printf(")  %s\n", qPrintable(protocol));
    };
    row("OpenSSL echo thread (the limit)", limit, QStringLiteral("TLSv1.3"));
    row("quillnet TLS server, loopback", program, programProtocol);
    row("socat OPENSSL-LISTEN … PIPE", socat, socatProtocol);
    row("quillnet plain TCP, loopback", plain, QStringLiteral("plain"));
    std::printf("  TLS/socat %.2f, TLS/plain %.2f, TLS/limit %.2f\n\n", Median(program) / std::max(Median(socat), 1e-9),
                Median(program) / std::max(Median(plain), 1e-9), Median(program) / std::max(Median(limit), 1e-9));

    QString protocol;
    const std::vector<double> handshakes = MeasureHandshakes(cert, key, quick ? 20 : 100, &protocol);
    std::vector<double> sorted = handshakes;
    std::sort(sorted.begin(), sorted.end());
    if (!sorted.empty())
        std::printf("Handshake, quillnet TLS client to openssl s_server (connect to connected, verified, %zu times):\n"
                    "  median %.2f ms, p90 %.2f ms, max %.2f ms  (%s)\n",
                    sorted.size(), Median(sorted), sorted[sorted.size() * 9 / 10], sorted.back(), qPrintable(protocol));
    return 0;
}
