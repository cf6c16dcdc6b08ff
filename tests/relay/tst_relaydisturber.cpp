// Disturbances of one direction: reproducible from the seed, order kept, nothing lost that was not
// dropped.
#include "relay/crelaydisturber.h"

#include <QTest>

namespace {

struct Run
{
    QByteArray out;             // every piece, joined
    QList<QByteArray> pieces;   // as they went
    QList<qint64> times;        // when each went
    QStringList marks;
};

// Forty telegrams of 1 to 60 bytes, one every 3 ms, then 10 s more for what is delayed.
Run Disturb(const CRelayDisturber::Spec &spec, quint64 seed, QByteArray *in)
{
    CRelayDisturber disturber(spec, seed);
    Run run;
    in->clear();
    const auto take = [&](qint64 now, const QList<QByteArray> &ready) {
        for (const QByteArray &piece : ready) {
            run.out += piece;
            run.pieces << piece;
            run.times << now;
        }
    };
    for (int i = 0; i < 40; ++i) {
        QByteArray telegram;
        for (int j = 0; j <= (i * 7) % 60; ++j)
            telegram += char('A' + (i + j) % 26);
        *in += telegram;
        QList<QByteArray> ready;
        QList<CRelayDisturber::Mark> marks;
        disturber.TakeAt(i * 3, telegram, &ready, &marks);
        take(i * 3, ready);
        for (const auto &mark : marks)
            run.marks << CRelayDisturber::KindText(mark.kind) + QLatin1Char(' ') + mark.text;
    }
    for (qint64 now = 120; now < 10120; ++now) {
        QList<QByteArray> ready;
        disturber.DueAt(now, &ready);
        take(now, ready);
    }
    if (disturber.Waiting() != 0)
        qFatal("left waiting");
    return run;
}

CRelayDisturber::Spec Read(const QString &text)
{
    CRelayDisturber::Spec spec;
    bool directions[2];
    quint64 seed = 0;
    bool seedGiven = false;
    QString error;
    if (!CRelayDisturber::Parse(text, &spec, directions, &seed, &seedGiven, &error))
        qFatal("%s", qPrintable(error));
    return spec;
}

}  // namespace

class TestRelayDisturber : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sameSeedSameStream_data();
    void sameSeedSameStream();
    void parsesWords_data();
    void parsesWords();
};

void TestRelayDisturber::sameSeedSameStream_data()
{
    QTest::addColumn<QString>("spec");
    QTest::addColumn<bool>("keepsAllBytes");  // nothing dropped or changed: the stream comes out whole
    QTest::addColumn<bool>("seedMatters");
    QTest::addColumn<QString>("markKind");    // a mark every run leaves
    QTest::newRow("delay and jitter") << "delay:5 jitter:20" << true << true << "遅延";
    QTest::newRow("drop") << "drop:30" << false << true << "破棄";
    QTest::newRow("corrupt bytes") << "corrupt:2" << false << true << "改変";
    QTest::newRow("corrupt telegrams") << "corrupt-telegram:50" << false << true << "改変";
    QTest::newRow("split") << "split:7" << true << true << "分割";
    QTest::newRow("merge") << "merge:10" << true << false << "結合";
    QTest::newRow("all at once") << "delay:2 jitter:9 drop:10 corrupt:1 split:9 merge:4" << false << true << "破棄";
}

void TestRelayDisturber::sameSeedSameStream()
{
    QFETCH(QString, spec);
    QFETCH(bool, keepsAllBytes);
    QFETCH(bool, seedMatters);
    QFETCH(QString, markKind);
    const CRelayDisturber::Spec read = Read(spec);
    QByteArray in;
    const Run first = Disturb(read, 42, &in);
    const Run again = Disturb(read, 42, &in);
    const Run other = Disturb(read, 43, &in);
    QCOMPARE(again.pieces, first.pieces);
    QCOMPARE(again.times, first.times);
    QCOMPARE(again.marks, first.marks);
    if (seedMatters)
        QVERIFY(other.pieces != first.pieces || other.times != first.times);
    QCOMPARE(first.out == in, keepsAllBytes);
    QVERIFY(first.marks.filter(QRegularExpression(QStringLiteral("^") + markKind)).size() > 0);
    // Time never runs backwards for the pieces: order is kept.
    for (qsizetype i = 1; i < first.times.size(); ++i)
        QVERIFY(first.times[i] >= first.times[i - 1]);
}

void TestRelayDisturber::parsesWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("aToB");
    QTest::addColumn<bool>("bToA");
    QTest::addColumn<QString>("writtenBack");  // as the disturbance words write themselves back
    QTest::newRow("both ways") << "delay:5 jitter:2" << true << true << true << "delay:5 jitter:2";
    QTest::newRow("one way, commas") << "B>A,drop:0.5,corrupt:0.01" << true << false << true << "drop:0.5 corrupt:0.01";
    QTest::newRow("seed only") << "a>b seed:7" << true << true << false << "";
    QTest::newRow("percent over 100") << "drop:101" << false << false << false << "";
    QTest::newRow("negative delay") << "delay:-1" << false << false << false << "";
    QTest::newRow("unknown word") << "shake:3" << false << false << false << "";
    QTest::newRow("word without value") << "split" << false << false << false << "";
}

void TestRelayDisturber::parsesWords()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(bool, aToB);
    QFETCH(bool, bToA);
    QFETCH(QString, writtenBack);
    CRelayDisturber::Spec spec;
    bool directions[2] = {false, false};
    quint64 seed = 0;
    bool seedGiven = false;
    QString error;
    QCOMPARE(CRelayDisturber::Parse(text, &spec, directions, &seed, &seedGiven, &error), ok);
    if (!ok) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(directions[0], aToB);
    QCOMPARE(directions[1], bToA);
    QCOMPARE(spec.Text(), writtenBack);
    QCOMPARE(seedGiven, text.contains(QStringLiteral("seed:")));
}

QTEST_GUILESS_MAIN(TestRelayDisturber)
#include "tst_relaydisturber.moc"
