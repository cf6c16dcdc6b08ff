// The pcapng trace writer's speed: encoding telegrams of several sizes, saving a full History
// (64 MB of telegrams) to a file, and the live recorder into /dev/null.
// bench/trace/bench_trace [folder for the saved file, default /tmp]
#include "display/cpcapngwriter.h"
#include "display/ctracerecorder.h"
#include "display/ctracestore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

CTraceTelegram Telegram(CTraceTelegram::Carrier carrier, int size, int i)
{
    CTraceTelegram telegram;
    telegram.carrier = carrier;
    CSocketAddress::FromNumbers(QStringLiteral("127.0.0.1"), 40000, &telegram.own);
    CSocketAddress::FromNumbers(QStringLiteral("127.0.0.1"), 502, &telegram.peer);
    telegram.direction = i % 2 ? 'R' : 'S';
    telegram.connection = 1;
    telegram.microseconds = 1765000000000000 + i;
    telegram.bytes = QByteArray(size, char(i));
    return telegram;
}

void Encode(const char *name, CTraceTelegram::Carrier carrier, int size, qint64 total)
{
    const int count = int(total / size);
    std::vector<CTraceTelegram> telegrams;
    for (int i = 0; i < 2; ++i)
        telegrams.push_back(Telegram(carrier, size, i));
    CPcapngWriter writer;
    QByteArray out;
    out.reserve(8 * 1024 * 1024 + 2 * size);
    writer.Begin(out);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        writer.Write(telegrams[size_t(i % 2)], out);
        if (out.size() > 8 * 1024 * 1024)
            out.resize(0);  // as a caller hands each part on
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    std::printf("encode %-14s %8d B x %7d: %8.0f MB/s of payload, %6.2f M telegrams/s\n", name, size, count,
                double(count) * size / 1e6 / seconds, count / seconds / 1e6);
}

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp");
    const qint64 total = 1024LL * 1024 * 1024;
    Encode("TCP", CTraceTelegram::Tcp, 65536, total);
    Encode("TCP", CTraceTelegram::Tcp, 1024, total / 4);
    Encode("TCP", CTraceTelegram::Tcp, 16, total / 64);
    Encode("UDP", CTraceTelegram::Udp, 1024, total / 4);
    Encode("serial", CTraceTelegram::Serial, 256, total / 8);

    // A full History: 64 MB of telegrams (1,000 of 64 KB; 65,536 of 1 KB), traced and saved.
    for (const int size : {65536, 1024}) {
        CTraceStore store;
        const int count = int(64LL * 1024 * 1024 / size);
        for (int i = 0; i < count; ++i)
            store.Add(i, Telegram(CTraceTelegram::Tcp, size, i));
        const QString path = folder + QStringLiteral("/bench-trace.pcapng");
        QElapsedTimer clock;
        clock.start();
        QFile null(QStringLiteral("/dev/null"));
        null.open(QIODevice::WriteOnly);
        store.WriteTrace(&null, 0, count, QByteArray());
        const qint64 encoded = clock.nsecsElapsed();
        clock.restart();
        QString error;
        const bool saved = store.SaveTo(path, 0, count, QByteArray(), {}, &error);
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        std::printf("History 64 MB in %5d B telegrams: traced into /dev/null %6.1f ms, saved to a file %7.1f ms (%lld MB)%s\n",
                    size, double(encoded) / 1e6, ms, static_cast<long long>(QFileInfo(path).size() / 1000000),
                    saved ? "" : " FAILED");
        QFile::remove(path);
    }

    // The live recorder into /dev/null: what the window hands it, and when all of it is written.
    {
        CTraceRecorder recorder;
        QString error;
        recorder.Open(QStringLiteral("/dev/null"), QByteArray(), &error);
        const int size = 4096, count = 65536;
        const CTraceTelegram telegram = Telegram(CTraceTelegram::Tcp, size, 1);
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < count; ++i)
            recorder.Write(telegram);
        const double queued = double(clock.nsecsElapsed()) / 1e6;
        recorder.WaitWritten();
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        std::printf("record %d x %d B: queued in %.1f ms (%.2f µs a telegram on the window's thread), written at %.0f MB/s\n",
                    count, size, queued, queued * 1000 / count, double(count) * size / 1e6 / seconds);
    }
    return 0;
}
