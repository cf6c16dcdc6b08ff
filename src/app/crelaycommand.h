// quillnet --relay SIDE_A SIDE_B: the relay without a window, until --duration has passed or
// SIGINT/SIGTERM comes; its lines on stderr, its trace written to the end. Exit codes as --batch:
// 0 ended as asked, 1 bytes were lost on the way (a side refused them or closed with them queued),
// 2 bad usage or a side or file that cannot be opened, 3 the trace could not be written,
// 130 ended by SIGINT/SIGTERM.
#pragma once

#include <QByteArray>
#include <QCommandLineOption>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QCommandLineParser;
class CRelay;

class CRelayCommand : public QObject
{
    Q_OBJECT
public:
    static constexpr int kExitDone = 0;
    static constexpr int kExitLost = 1;
    static constexpr int kExitUsage = 2;
    static constexpr int kExitTrace = 3;
    static constexpr int kExitInterrupted = 130;

    struct Options
    {
        QString sideA;
        QString sideB;
        QString settings;
        QString pcapng;
        QByteArray pcapngSerial;
        double durationSeconds = 0;  // 0: until a signal
        QStringList disturb;
        quint64 seed = 0;
        bool seedGiven = false;
        bool quiet = false;
        int replyDirection = -1;  // the document's reply rules answer this direction (-1: none)
        QString checksum;         // checked on both directions (empty: none)
    };

    // --relay and the options only it has, in the order the help lists them.
    static QList<QCommandLineOption> OwnOptions();
    static bool IsAsked(const QCommandLineParser &parser);
    // Reads the relay's options (--settings, --pcapng, --pcapng-serial and --quiet as --batch has
    // them) and the second side, the one positional argument; false with the reason.
    static bool Read(const QCommandLineParser &parser, Options *options, QString *error);

    // False with the reason when an option of the relay's is given without --relay.
    static bool CheckWithoutRelay(const QCommandLineParser &parser, QString *error);

    explicit CRelayCommand(const Options &options);
    ~CRelayCommand() override;
    // Runs in an event loop of its own (needs the application object) and returns the exit code.
    int Run();

private:
    static void Say(const QString &line);
    bool SetUpDisturbers(CRelay *relay);

    Options m_options;
};
