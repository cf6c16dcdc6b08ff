// Value channels without windows: fields and text numbers read against values worked out by hand,
// the telegrams a channel reads, the CSV form and its refusals, the document slots, figures and limits.
#include "document/cqndoc.h"
#include "platform/cp932.h"
#include "session/cchannelparser.h"
#include "session/cchannelvalues.h"
#include "channelmaker.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

const double kNone = std::numeric_limits<double>::quiet_NaN();

// The values one telegram gives, fed through a parser as the session feeds it.
QList<double> Read(const QList<CChannel> &channels, const QByteArray &telegram, char direction = 'R', int client = 0,
                   const QString &checksum = QString(), qint64 *bad = nullptr)
{
    CChannelTable table;
    table.channels = channels;
    table.checksum = checksum;
    CChannelParser parser;
    parser.SetTable(table);
    CChannelValues values;
    values.SetChannels(channels);
    parser.Feed(direction, client, reinterpret_cast<const unsigned char *>(telegram.constData()), int(telegram.size()),
                1000, &values);
    QList<double> read;
    for (int i = 0; i < channels.size(); ++i) {
        for (qsizetype k = 0; k < values.Count(i); ++k)
            read << values.ValueAt(i, k);
    }
    if (bad)
        *bad = values.BadChecksums();
    return read;
}

QByteArray Saved(CQnDoc &doc, const QString &path)
{
    QString error;
    if (!doc.OnSaveDocument(path, &error))
        return QByteArray();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestChannels : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void binaryFieldsReadAsWorkedOut_data()
    {
        QTest::addColumn<QByteArray>("telegram");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("add");
        QTest::addColumn<QList<double>>("expected");
        const auto row = [](const char *name, const char *hex, int offset, int type, bool be, double scale, double add,
                            QList<double> expected) {
            QTest::newRow(name) << QByteArray::fromHex(hex) << offset << type << be << scale << add << expected;
        };
        row("u8", "00ff", 1, CChannel::U8, false, 1, 0, {255});
        row("i8 negative", "80", 0, CChannel::I8, false, 1, 0, {-128});
        row("u16 le", "aa3412", 1, CChannel::U16, false, 1, 0, {0x1234});
        row("u16 be", "aa3412", 1, CChannel::U16, true, 1, 0, {0x3412});
        row("i16 be negative", "fffe", 0, CChannel::I16, true, 1, 0, {-2});
        row("i16 le negative", "fffe", 0, CChannel::I16, false, 1, 0, {-257});
        row("u32 le", "78563412", 0, CChannel::U32, false, 1, 0, {305419896});
        row("i32 be", "ffffff9c", 0, CChannel::I32, true, 1, 0, {-100});
        row("u64 be", "0000010000000000", 0, CChannel::U64, true, 1, 0, {1099511627776.0});
        row("i64 le", "feffffffffffffff", 0, CChannel::I64, false, 1, 0, {-2});
        row("f32 le 1.5", "0000c03f", 0, CChannel::F32, false, 1, 0, {1.5});
        row("f32 be -0.25", "be800000", 0, CChannel::F32, true, 1, 0, {-0.25});
        row("f64 be 2.5", "4004000000000000", 0, CChannel::F64, true, 1, 0, {2.5});
        row("f64 le -10", "00000000000024c0", 0, CChannel::F64, false, 1, 0, {-10});
        row("scale and offset", "00fa", 0, CChannel::U16, true, 0.1, -40, {-15});
        row("field past the end", "0102", 1, CChannel::U16, false, 1, 0, {});
        row("field ends at the end", "0102", 0, CChannel::U16, false, 1, 0, {0x0201});
    }
    void binaryFieldsReadAsWorkedOut()
    {
        QFETCH(QByteArray, telegram);
        QFETCH(int, offset);
        QFETCH(int, type);
        QFETCH(bool, bigEndian);
        QFETCH(double, scale);
        QFETCH(double, add);
        QFETCH(QList<double>, expected);
        const QList<double> read = Read({Binary(offset, type, bigEndian, scale, add)}, telegram);
        QCOMPARE(read.size(), expected.size());
        for (int i = 0; i < read.size(); ++i)
            QVERIFY2(std::fabs(read[i] - expected[i]) < 1e-9, qPrintable(QString::number(read[i])));
    }

    void textNumbersReadAsWorkedOut_data()
    {
        QTest::addColumn<QByteArray>("telegram");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("group");
        QTest::addColumn<int>("base");
        QTest::addColumn<QList<double>>("expected");
        QTest::newRow("decimal") << QByteArray("T=21.5;H=40\r\n") << QStringLiteral("T=([-0-9.]+)") << 1 << 10 << QList<double>{21.5};
        QTest::newRow("negative") << QByteArray("T=-3.25") << QStringLiteral("T=([-0-9.]+)") << 1 << 10 << QList<double>{-3.25};
        QTest::newRow("exponent") << QByteArray("v 1.5e3") << QStringLiteral("v (\\S+)") << 1 << 10 << QList<double>{1500};
        QTest::newRow("second group") << QByteArray("12,34") << QStringLiteral("(\\d+),(\\d+)") << 2 << 10 << QList<double>{34};
        QTest::newRow("whole match") << QByteArray("x 77 y") << QStringLiteral("\\d+") << 0 << 10 << QList<double>{77};
        QTest::newRow("hex") << QByteArray("ADC:1F4") << QStringLiteral("ADC:([0-9A-F]+)") << 1 << 16 << QList<double>{500};
        QTest::newRow("hex with 0x") << QByteArray("v=0xff") << QStringLiteral("v=(\\S+)") << 1 << 16 << QList<double>{255};
        QTest::newRow("not a number") << QByteArray("T=abc") << QStringLiteral("T=(\\w+)") << 1 << 10 << QList<double>{};
        QTest::newRow("no match") << QByteArray("nothing") << QStringLiteral("T=(\\d+)") << 1 << 10 << QList<double>{};
        QTest::newRow("bytes past ASCII") << QByteArray("\xb2\xb3=5") << QStringLiteral("=(\\d)") << 1 << 10 << QList<double>{5};
    }
    void textNumbersReadAsWorkedOut()
    {
        QFETCH(QByteArray, telegram);
        QFETCH(QString, pattern);
        QFETCH(int, group);
        QFETCH(int, base);
        QFETCH(QList<double>, expected);
        QCOMPARE(Read({Text(pattern, group, base)}, telegram), expected);
    }

    void matchDirectionClientAndChecksumSelectTelegrams_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("text");
        QTest::addColumn<QString>("match");
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("client");
        QTest::addColumn<QByteArray>("telegram");
        QTest::addColumn<char>("sentOrReceived");
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("checksum");
        QTest::addColumn<int>("values");
        QTest::addColumn<int>("bad");
        const QByteArray modbus = QByteArray::fromHex("010300000001840a");
        const QByteArray broken = QByteArray::fromHex("010300000001840b");
        const int any = CChannel::kNoMatch;
        const QString none;
        QTest::newRow("every telegram") << any << false << none << 1 << 0 << modbus << 'R' << 0 << none << 1 << 0;
        QTest::newRow("hex starts with ??") << int(CReplyRule::KindStartsWith) << false << QStringLiteral("01 ?? 00") << 1 << 0 << modbus << 'R' << 0 << none << 1 << 0;
        QTest::newRow("hex does not start") << int(CReplyRule::KindStartsWith) << false << QStringLiteral("02") << 1 << 0 << modbus << 'R' << 0 << none << 0 << 0;
        QTest::newRow("text contains") << int(CReplyRule::KindContains) << true << QStringLiteral("\\x84\\n") << 1 << 0 << modbus << 'R' << 0 << none << 1 << 0;
        QTest::newRow("pattern") << int(CReplyRule::KindRegex) << false << QStringLiteral("^\\x01\\x03") << 1 << 0 << modbus << 'R' << 0 << none << 1 << 0;
        QTest::newRow("sent, channel of received") << any << false << none << 1 << 0 << modbus << 'S' << 0 << none << 0 << 0;
        QTest::newRow("sent, channel of both") << any << false << none << 3 << 0 << modbus << 'S' << 0 << none << 1 << 0;
        QTest::newRow("received, channel of sent") << any << false << none << 2 << 0 << modbus << 'R' << 0 << none << 0 << 0;
        QTest::newRow("client 2's channel, client 2") << any << false << none << 1 << 2 << modbus << 'R' << 2 << none << 1 << 0;
        QTest::newRow("client 2's channel, client 3") << any << false << none << 1 << 2 << modbus << 'R' << 3 << none << 0 << 0;
        QTest::newRow("checksum holds") << any << false << none << 1 << 0 << modbus << 'R' << 0 << QStringLiteral("CRC-16/MODBUS:le") << 1 << 0;
        QTest::newRow("checksum fails: counted") << any << false << none << 1 << 0 << broken << 'R' << 0 << QStringLiteral("CRC-16/MODBUS:le") << 0 << 1;
        QTest::newRow("sent telegrams are not checked") << any << false << none << 3 << 0 << broken << 'S' << 0 << QStringLiteral("CRC-16/MODBUS:le") << 1 << 0;
    }
    void matchDirectionClientAndChecksumSelectTelegrams()
    {
        QFETCH(int, kind);
        QFETCH(bool, text);
        QFETCH(QString, match);
        QFETCH(int, direction);
        QFETCH(int, client);
        QFETCH(QByteArray, telegram);
        QFETCH(char, sentOrReceived);
        QFETCH(int, from);
        QFETCH(QString, checksum);
        QFETCH(int, values);
        QFETCH(int, bad);
        CChannel c = Binary(4, CChannel::U16, true);
        c.matchKind = kind;
        c.matchText = text;
        c.match = match;
        c.direction = direction;
        c.client = client;
        QVERIFY2(c.Check().isEmpty(), qPrintable(c.Check()));
        qint64 counted = 0;
        const QList<double> read = Read({c}, telegram, sentOrReceived, from, checksum, &counted);
        QCOMPARE(read.size(), values);
        if (values)
            QCOMPARE(read[0], 1.0);
        QCOMPARE(counted, qint64(bad));
    }

    void csvRefusalsNameLineAndColumn_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("error");
        const QByteArray ok = "\"a\",\"V\",\"受信\",\"0\",\"\",\"\",\"\",\"ﾊﾞｲﾅﾘ\",\"\",\"\",\"\",\"2\",\"u16\",\"BE\",\"1\",\"0\",\"\",\"\",";
        QTest::newRow("good") << ok << QString();
        QTest::newRow("no name") << QByteArray(ok).replace("\"a\"", "\"\"") << QStringLiteral("2 行目 1 列目 (名前): 名前がありません。");
        QTest::newRow("direction") << QByteArray(ok).replace("受信", "横") << QStringLiteral("2 行目 3 列目 (方向): 項目が正しくありません。");
        QTest::newRow("type") << QByteArray(ok).replace("u16", "u24") << QStringLiteral("2 行目 13 列目 (型): 型が正しくありません。");
        QTest::newRow("order") << QByteArray(ok).replace("BE", "ME") << QStringLiteral("2 行目 14 列目 (ﾊﾞｲﾄ順): 項目が正しくありません。");
        QTest::newRow("source") << QByteArray(ok).replace("ﾊﾞｲﾅﾘ", "x") << QStringLiteral("2 行目 8 列目 (取り出し): 項目が正しくありません。");
        QTest::newRow("offset") << QByteArray(ok).replace("\"2\",\"u16\"", "\"-1\",\"u16\"") << QStringLiteral("2 行目 12 列目 (位置): 位置は 0 から 2047999 の範囲で指定してください。");
        QTest::newRow("limits crossed") << QByteArray(ok).replace("\"1\",\"0\",\"\",\"\",", "\"1\",\"0\",\"5\",\"1\",") << QStringLiteral("2 行目 17 列目 (下限): 下限が上限より大きくなっています。");
        QTest::newRow("scale") << QByteArray(ok).replace("\"1\",\"0\"", "\"x\",\"0\"") << QStringLiteral("2 行目 15 列目 (倍率): 項目が正しくありません。");
        QTest::newRow("bad match hex") << QByteArray(ok).replace("\"\",\"\",\"\",\"ﾊﾞｲﾅﾘ\"", "\"前方一致\",\"HEX\",\"0G\",\"ﾊﾞｲﾅﾘ\"")
                                       << QStringLiteral("2 行目 7 列目 (照合ﾃﾞｰﾀ): ");
        QTest::newRow("pattern fault") << QByteArray("\"t\",\"\",\"受信\",\"0\",\"\",\"\",\"\",\"正規表現\",\"(\",\"1\",\"10\",")
                                       << QStringLiteral("2 行目 9 列目 (正規表現): ");
        QTest::newRow("group missing") << QByteArray("\"t\",\"\",\"受信\",\"0\",\"\",\"\",\"\",\"正規表現\",\"(a)\",\"2\",\"10\",")
                                       << QStringLiteral("2 行目 10 列目 (ｸﾞﾙｰﾌﾟ): ｸﾞﾙｰﾌﾟ 2 は正規表現にありません。");
    }
    void csvRefusalsNameLineAndColumn()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, error);
        QList<QByteArray> lines = CChannelTable().ToCsv();  // the header
        lines << ToCp932Line(line);
        QList<CChannel> read{Binary(0, CChannel::U8, false)};
        QString why;
        const bool ok = CChannelTable::FromCsv(lines, &read, &why);
        QCOMPARE(ok, error.isEmpty());
        QVERIFY2(why.startsWith(error), qPrintable(why));
        QCOMPARE(read.size(), 1);  // untouched on a refusal, the one line read otherwise
    }

    void csvAndDocumentKeepEveryField()
    {
        CChannelTable table;
        CChannel a = Binary(4, CChannel::F32, true, 0.01, -273.15);
        a.name = QStringLiteral("温度");
        a.unit = QStringLiteral("℃");
        a.direction = CChannel::Both;
        a.client = 3;
        a.matchKind = CReplyRule::KindStartsWith;
        a.match = QStringLiteral("02 ?? 10");
        a.low = -5;
        a.high = 85.5;
        CChannel b = Text(QStringLiteral("P=(\\w+)"), 1, 16);
        b.name = QStringLiteral("圧力");
        b.matchKind = CReplyRule::KindRegex;
        b.match = QStringLiteral("^P=");
        b.high = 1e6;
        table.channels = {a, b};
        table.checksum = QStringLiteral("CRC-16/MODBUS:le");

        QList<CChannel> back;
        QString error;
        QVERIFY2(CChannelTable::FromCsv(table.ToCsv(), &back, &error), qPrintable(error));
        QCOMPARE(back, table.channels);

        CQnDoc doc;
        table.Store(doc);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("c.qn"));
        const QByteArray first = Saved(doc, path);
        CQnDoc reopened;
        QVERIFY(reopened.OnOpenDocument(path, &error));
        CChannelTable loaded;
        QVERIFY2(loaded.Load(reopened, &error), qPrintable(error));
        QCOMPARE(loaded, table);
        loaded.Store(reopened);
        QCOMPARE(Saved(reopened, dir.filePath(QStringLiteral("d.qn"))), first);
    }

    void documentWithoutChannelsSavesByteIdentical()
    {
        QTemporaryDir dir;
        CQnDoc doc;
        doc.SetSlotString(CQnDoc::SLOT_UDP_ADDRESS, QStringLiteral("127.0.0.1"));
        doc.SetSlotInt(CQnDoc::SLOT_REPLY_COUNT, 0);
        const QByteArray before = Saved(doc, dir.filePath(QStringLiteral("a.qn")));
        CChannelTable table;
        QVERIFY(table.Load(doc));
        QVERIFY(table.IsEmpty());
        table.Store(doc);
        QCOMPARE(Saved(doc, dir.filePath(QStringLiteral("b.qn"))), before);
    }

    void figuresCountCrossingsOnceEachExcursion()
    {
        CChannel c = Binary(0, CChannel::U8, false);
        c.name = QStringLiteral("p");
        c.unit = QStringLiteral("V");
        c.low = 10;
        c.high = 20;
        CChannelValues values;
        values.SetChannels({c, Text(QStringLiteral("(x)"))});
        const QList<double> series{15, 25, 26, 15, 5, 10};
        for (int i = 0; i < series.size(); ++i)
            values.Add(0, 1000000LL * (i + 1), series[i]);
        values.Add(1, 2000000, 7);
        const CChannelValues::Figures &f = values.FiguresOf(0);
        QCOMPARE(f.count, qint64(6));
        QCOMPARE(f.min, 5.0);
        QCOMPARE(f.max, 26.0);
        QCOMPARE(f.Mean(), 16.0);
        QCOMPARE(f.crossings, 2);
        QCOMPARE(values.Crossings(0).size(), size_t(2));
        QVERIFY(values.CrossingText(0).startsWith(QStringLiteral("p = 25 V (上限 20 超過) ")));
        QCOMPARE(values.FiguresLines().first(), QStringLiteral("p [V]: 6 件 最小 5 平均 16 最大 26 限界外 2 回"));
        const QList<QByteArray> csv = values.ToCsv();
        QCOMPARE(csv.size(), 7);  // header and six times, channel t's value sharing the second
        QVERIFY(csv[2].endsWith("\"25\",\"7\",\r\n"));
        values.ResetFigures();
        QVERIFY(!values.AnyCrossing());
        QCOMPARE(values.Count(0), qsizetype(6));
    }

    void keepsPointsAndSpan_data()
    {
        QTest::addColumn<qlonglong>("points");
        QTest::addColumn<qlonglong>("spanUs");
        QTest::addColumn<qlonglong>("kept");
        QTest::addColumn<qlonglong>("oldest");
        QTest::newRow("everything") << 1000000LL << 0LL << 10000LL << 0LL;
        QTest::newRow("last 100 points") << 100LL << 0LL << 100LL << 9900LL;
        QTest::newRow("last 5 s") << 1000000LL << 5000000LL << 5001LL << 4999LL;
    }
    void keepsPointsAndSpan()
    {
        QFETCH(qlonglong, points);
        QFETCH(qlonglong, spanUs);
        QFETCH(qlonglong, kept);
        QFETCH(qlonglong, oldest);
        CChannelValues values;
        values.SetChannels({Binary(0, CChannel::U8, false)});
        values.SetKeep(points, spanUs);
        for (int i = 0; i < 10000; ++i)
            values.Add(0, qint64(i) * 1000, i);
        QCOMPARE(values.Count(0), kept);
        QCOMPARE(values.ValueAt(0, 0), double(oldest));
        QCOMPARE(values.LowerBound(0, 9999000), kept - 1);
    }

private:
    static QByteArray ToCp932Line(const QByteArray &utf8) { return ToCp932(QString::fromUtf8(utf8)); }
};

QTEST_GUILESS_MAIN(TestChannels)
#include "tst_channels.moc"
