#include "app/crelaycommand.h"

#include "display/ctracerecorder.h"
#include "document/cqndoc.h"
#include "platform/csignalquit.h"
#include "relay/crelay.h"
#include "relay/crelaydisturber.h"
#include "relay/crelayreplies.h"
#include "relay/crelayside.h"
#include "relay/crelaytrace.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>

#include <cstdio>

namespace {

const char *const kRelay = "relay";
const char *const kDuration = "duration";
const char *const kDisturb = "disturb";
const char *const kSeed = "seed";
const char *const kReplies = "relay-replies";
constexpr double kMaxDurationSeconds = 2000000;  // what fits a timer in milliseconds
constexpr qint64 kDrainMs = 2000;

QString Value(const QCommandLineParser &parser, const char *name)
{
    return parser.value(QString::fromLatin1(name));
}

bool IsSet(const QCommandLineParser &parser, const char *name)
{
    return parser.isSet(QString::fromLatin1(name));
}

}  // namespace

QList<QCommandLineOption> CRelayCommand::OwnOptions()
{
    return {
        QCommandLineOption(QString::fromLatin1(kRelay),
                           QStringLiteral("画面を出さずに二つの相手の間を中継します (--relay 相手A 相手B)。相手は ﾎｽﾄ:ﾎﾟｰﾄ, "
                                          "tls://ﾎｽﾄ:ﾎﾟｰﾄ, listen:[ﾎｽﾄ:]ﾎﾟｰﾄ, tls-listen:[ﾎｽﾄ:]ﾎﾟｰﾄ, "
                                          "udp://ﾎｽﾄ:ﾎﾟｰﾄ[@自ﾎﾟｰﾄ], /dev/ttyX[:ﾎﾞｰﾚｰﾄ]。--settings, --pcapng, "
                                          "--pcapng-serial, --quiet も使えます。終了ｺｰﾄﾞ: 0 正常終了, 1 中継できなかったﾃﾞｰﾀがある, "
                                          "2 使い方の誤りまたは開けない相手やﾌｧｲﾙ, 3 ﾄﾚｰｽを書き込めなかった, 130 SIGINT/SIGTERM で終了。"),
                           QStringLiteral("SIDE_A")),
        QCommandLineOption(QString::fromLatin1(kDuration), QStringLiteral("--relay: この秒数で中継を終えます。既定: SIGINT/SIGTERM まで。"),
                           QStringLiteral("SECONDS")),
        QCommandLineOption(QString::fromLatin1(kDisturb),
                           QStringLiteral("--relay: 中継する電文を妨害します (繰り返し指定可)。[A>B|B>A] delay:ﾐﾘ秒 jitter:ﾐﾘ秒 "
                                          "drop:% corrupt:% corrupt-telegram:% split:ﾊﾞｲﾄ merge:ﾐﾘ秒 seed:数。"
                                          "方向を書かなければ両方向です。ｼｰﾄﾞは開始時に表示します。"),
                           QStringLiteral("SPEC")),
        QCommandLineOption(QString::fromLatin1(kReplies),
                           QStringLiteral("--relay: 設定ﾌｧｲﾙ (--settings) の応答ﾙｰﾙがこの方向 (A>B か B>A) の電文に答えます。"
                                          "一致した電文は相手側に送らず、送り手に応答を返します。--checksum ﾙｰﾙ で両方向のﾁｪｯｸｻﾑを検査します。"),
                           QStringLiteral("A>B|B>A")),
        QCommandLineOption(QString::fromLatin1(kSeed), QStringLiteral("--relay: 妨害の乱数のｼｰﾄﾞ。同じｼｰﾄﾞと同じ電文で同じ妨害になります。"),
                           QStringLiteral("N")),
    };
}

bool CRelayCommand::IsAsked(const QCommandLineParser &parser)
{
    return IsSet(parser, kRelay);
}

bool CRelayCommand::Read(const QCommandLineParser &parser, Options *options, QString *error)
{
    Options read;
    read.sideA = Value(parser, kRelay);
    const QStringList rest = parser.positionalArguments();
    if (read.sideA.isEmpty() || rest.size() != 1) {
        *error = QStringLiteral("--relay には相手を二つ指定してください (--relay 相手A 相手B)");
        return false;
    }
    read.sideB = rest.constFirst();
    for (const char *name : {"batch", "results", "junit", "timings", "row-timeout", "prompt", "ignore-prompt", "reply-rules",
                             "tls", "ca", "insecure", "commands", "run", "to", "listen", "hex", "text", "file", "history"}) {
        if (IsSet(parser, name)) {
            *error = QStringLiteral("--%1 は --relay と使えません").arg(QString::fromLatin1(name));
            return false;
        }
    }
    read.settings = Value(parser, "settings");
    read.pcapng = Value(parser, "pcapng");
    read.pcapngSerial = Value(parser, "pcapng-serial").toLatin1();
    if (IsSet(parser, "pcapng") && read.pcapng.isEmpty()) {
        *error = QStringLiteral("--pcapng にﾌｧｲﾙを指定してください");
        return false;
    }
    read.quiet = IsSet(parser, "quiet");
    if (IsSet(parser, kDuration)) {
        bool ok = false;
        read.durationSeconds = Value(parser, kDuration).toDouble(&ok);
        if (!ok || !(read.durationSeconds > 0) || read.durationSeconds > kMaxDurationSeconds) {
            *error = QStringLiteral("--duration は 0 より大きい秒数で指定してください: %1").arg(Value(parser, kDuration));
            return false;
        }
    }
    read.disturb = parser.values(QString::fromLatin1(kDisturb));
    read.checksum = Value(parser, "checksum");
    if (IsSet(parser, kReplies)) {
        const QString direction = Value(parser, kReplies).toUpper();
        read.replyDirection = direction == QLatin1String("A>B") ? 0 : direction == QLatin1String("B>A") ? 1 : -2;
        if (read.replyDirection == -2 || read.settings.isEmpty()) {
            *error = QStringLiteral("--relay-replies は A>B か B>A で、応答ﾙｰﾙのある --settings と一緒に指定してください");
            return false;
        }
    }
    if (IsSet(parser, kSeed)) {
        bool ok = false;
        read.seed = Value(parser, kSeed).toULongLong(&ok);
        if (!ok) {
            *error = QStringLiteral("--seed は 0 以上の整数で指定してください: %1").arg(Value(parser, kSeed));
            return false;
        }
        read.seedGiven = true;
    }
    // A --disturb text that does not read stops the run before anything is opened.
    for (const QString &text : std::as_const(read.disturb)) {
        CRelayDisturber::Spec spec;
        bool directions[2];
        if (!CRelayDisturber::Parse(text, &spec, directions, &read.seed, &read.seedGiven, error))
            return false;
    }
    *options = read;
    return true;
}

bool CRelayCommand::CheckWithoutRelay(const QCommandLineParser &parser, QString *error)
{
    for (const char *name : {kDuration, kDisturb, kSeed, kReplies}) {
        if (IsSet(parser, name)) {
            *error = QStringLiteral("--%1 は --relay と一緒に指定してください").arg(QString::fromLatin1(name));
            return false;
        }
    }
    return true;
}

CRelayCommand::CRelayCommand(const Options &options) : m_options(options) {}

CRelayCommand::~CRelayCommand() = default;

void CRelayCommand::Say(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

bool CRelayCommand::SetUpDisturbers(CRelay *relay)
{
    if (m_options.disturb.isEmpty())
        return true;
    CRelayDisturber::Spec specs[2];
    for (const QString &text : std::as_const(m_options.disturb)) {
        CRelayDisturber::Spec spec;
        bool directions[2];
        QString error;
        if (!CRelayDisturber::Parse(text, &spec, directions, &m_options.seed, &m_options.seedGiven, &error)) {
            Say(QStringLiteral("quillnet: ") + error);
            return false;
        }
        for (int direction = 0; direction < 2; ++direction) {
            if (directions[direction] && !spec.IsEmpty())
                specs[direction] = spec;
        }
    }
    const quint64 seed = m_options.seedGiven ? m_options.seed : QRandomGenerator::system()->generate64() >> 1;
    for (int direction = 0; direction < 2; ++direction) {
        if (specs[direction].IsEmpty())
            continue;
        // Each direction draws from a generator of its own, so that one direction's traffic does
        // not change the other's disturbances.
        relay->SetDisturber(direction, std::make_unique<CRelayDisturber>(specs[direction], seed + quint64(direction)));
        Say(QStringLiteral("妨害 %1: %2 ｼｰﾄﾞ %3").arg(CRelay::DirectionText(direction), specs[direction].Text()).arg(seed));
    }
    return true;
}

int CRelayCommand::Run()
{
    CQnDoc doc;
    QString cause;
    if (!m_options.settings.isEmpty() && !doc.OnOpenDocument(m_options.settings, &cause)) {
        Say(QStringLiteral("quillnet: 設定ﾌｧｲﾙを読めません: %1: %2").arg(m_options.settings, cause.simplified()));
        return kExitUsage;
    }
    CRelayAddress sides[2];
    for (int i = 0; i < 2; ++i) {
        if (!CRelayAddress::Parse(i == 0 ? m_options.sideA : m_options.sideB, m_options.settings.isEmpty() ? nullptr : &doc,
                                  &sides[i], &cause)) {
            Say(QStringLiteral("quillnet: ") + cause);
            return kExitUsage;
        }
    }
    CRelay relay(sides[0], sides[1]);
    if (!SetUpDisturbers(&relay))
        return kExitUsage;
    CRelayReplies replies(&relay);
    if (!replies.UseRules(doc, m_options.replyDirection, &cause) || !replies.CheckChecksum(m_options.checksum, &cause)) {
        Say(QStringLiteral("quillnet: ") + cause);
        return kExitUsage;
    }
    if (!m_options.quiet) {
        connect(&replies, &CRelayReplies::RuleAnswered, this, [](int direction, int rule, const QByteArray &answer) {
            Say(QStringLiteral("%1 応答ﾙｰﾙ%2 で応答 %3 ﾊﾞｲﾄ").arg(CRelay::DirectionText(direction)).arg(rule).arg(answer.size()));
        });
        connect(&replies, &CRelayReplies::BadChecksum, this, [](int direction, const QByteArray &received, const QByteArray &expected) {
            Say(QStringLiteral("%1 ﾁｪｯｸｻﾑ不正 受信 %2 正しくは %3")
                    .arg(CRelay::DirectionText(direction), QString::fromLatin1(received.toHex().toUpper()),
                         QString::fromLatin1(expected.toHex().toUpper())));
        });
    }
    CRelayTrace trace(&relay);
    if (!m_options.pcapng.isEmpty() && !trace.Open(m_options.pcapng, m_options.pcapngSerial, &cause)) {
        Say(QStringLiteral("quillnet: pcapng: %1: %2").arg(m_options.pcapng, cause));
        return kExitUsage;
    }
    QString traceFailure;
    if (trace.Recorder())
        connect(trace.Recorder(), &CTraceRecorder::Failed, this, [&](const QString &why) {
            traceFailure = why;
            Say(QStringLiteral("quillnet: pcapng を書き込めません: %1 (%2)").arg(m_options.pcapng, why));
        });
    if (!m_options.quiet) {
        connect(&relay, &CRelay::Log, this, [](const QString &line) { Say(line); });
        connect(&relay, &CRelay::Disturbed, this, [](int direction, int kind, const QString &text) {
            Say(QStringLiteral("%1 %2 %3").arg(CRelay::DirectionText(direction),
                                               CRelayDisturber::KindText(CRelayDisturber::Mark::Kind(kind)), text));
        });
    }
    if (!relay.Start(&cause)) {
        Say(QStringLiteral("quillnet: ") + cause);
        return kExitUsage;
    }
    // Said always: a caller that listens on port 0 learns the port here.
    for (int i = 0; i < 2; ++i) {
        if (sides[i].role == CRelayAddress::Role::Listen)
            Say(QStringLiteral("%1: 待受中 ﾎﾟｰﾄ %2").arg(QChar(u'A' + i)).arg(relay.Side(i).OwnPort()));
    }
    QEventLoop loop;
    bool interrupted = false;
    CSignalQuit interruptions(nullptr, false);
    connect(&interruptions, &CSignalQuit::Received, &loop, [&] {
        interrupted = true;
        loop.quit();
    });
    QTimer duration;
    duration.setSingleShot(true);
    connect(&duration, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (m_options.durationSeconds > 0)
        duration.start(int(m_options.durationSeconds * 1000));
    loop.exec();
    // What was read is still sent out, for a moment, so that an end by signal leaves the queues empty.
    QElapsedTimer draining;
    draining.start();
    while (relay.Waiting(CRelay::AtoB) + relay.Waiting(CRelay::BtoA) > 0 && draining.elapsed() < kDrainMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    qint64 lost = 0;
    for (int direction = 0; direction < 2; ++direction) {
        const CRelay::Counts &counts = relay.DirectionCounts(direction);
        lost += counts.lost + relay.Waiting(direction);
        if (!m_options.quiet)
            Say(QStringLiteral("%1: %2 電文 %3 ﾊﾞｲﾄ, 中継できなかったﾊﾞｲﾄ %4")
                    .arg(CRelay::DirectionText(direction))
                    .arg(counts.telegrams)
                    .arg(counts.bytes)
                    .arg(counts.lost + relay.Waiting(direction)));
    }
    relay.Stop();
    trace.Close();
    if (!traceFailure.isEmpty())
        return kExitTrace;
    if (interrupted)
        return kExitInterrupted;
    return lost > 0 ? kExitLost : kExitDone;
}
