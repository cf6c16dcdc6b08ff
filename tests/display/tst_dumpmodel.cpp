// The dump of the History's telegrams: the saved rows against the hexdump program's canonical output
// of the same bytes, for every form a line holds them in; the search across rows and the filter.
#include "display/cdumpformat.h"
#include "display/cdumpmodel.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTest>

namespace {

const QString kLead = QStringLiteral("01/02/03 04:05:06  R ");

// The lines the History adds for one telegram, in the form `form`: hex digits, bytes waiting for
// their digits, or text (split in two lines sharing the bytes).
std::vector<CLineStore::Line> Lines(const QByteArray &bytes, const QString &form, char direction, qint64 when)
{
    std::vector<CLineStore::Line> lines;
    QString lead = kLead;
    lead[lead.size() - 2] = QLatin1Char(direction);
    if (form == QLatin1String("hex")) {
        lines.push_back(CLineStore::Line::FromText(lead, bytes.toHex().toUpper()));
    } else if (form == QLatin1String("pending")) {
        lines.emplace_back();
        lines.back().head = lead;
        lines.back().hexPending = bytes;
    } else {
        const qint32 half = qint32(bytes.size() / 2);
        for (const auto &[from, to] : {std::pair{0, half}, std::pair{half, qint32(bytes.size())}}) {
            if (half == 0 && from == to)
                continue;  // one line for a telegram too short to split
            lines.push_back(CLineStore::Line::FromText(from == 0 ? lead : QString()));
            lines.back().raw = bytes;
            lines.back().rawBegin = from;
            lines.back().rawEnd = to;
            lines.back().body = 0;
        }
    }
    lines.front().body = qint32(lead.size());
    for (CLineStore::Line &line : lines) {
        line.direction = direction;
        line.when = when;
    }
    return lines;
}

QByteArray Hexdump(const QByteArray &bytes, const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("hexdump"), arguments);
    process.write(bytes);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return "hexdump failed";
    return process.readAllStandardOutput();
}

}  // namespace

class TestDumpModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("hexdump")).isEmpty())
            QSKIP("hexdump is missing (Debian package bsdextrautils; ./test.sh installs it)");
    }

    void savedDumpIsHexdumpOfEachTelegram_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<QList<QByteArray>>("telegrams");
        QTest::addColumn<QStringList>("arguments");  // of the hexdump that gives the expectation

        QRandomGenerator random(43);
        auto randomTelegrams = [&random] {
            QList<QByteArray> telegrams;
            for (int n = 0; n < 12; ++n) {
                QByteArray telegram(int(random.bounded(1, 600)), Qt::Uninitialized);
                for (char &c : telegram)
                    c = char(random.bounded(256));
                telegrams.append(telegram);
            }
            // Lengths at the row's edges besides the random ones.
            for (int size : {1, 8, 15, 16, 17, 4097}) {
                QByteArray telegram(size, Qt::Uninitialized);
                for (char &c : telegram)
                    c = char(random.bounded(256));
                telegrams.append(telegram);
            }
            return telegrams;
        };
        const QStringList canonical{QStringLiteral("-C")};
        for (const char *form : {"hex", "pending", "text"})
            QTest::addRow("random, %s", form) << QString::fromLatin1(form) << randomTelegrams() << canonical;
        // The program shows a row like the one before it instead of folding it into "*".
        QTest::newRow("repeated rows shown") << "hex" << QList<QByteArray>{QByteArray(40, '\0'), QByteArray(33, 'A')}
                                             << QStringList{QStringLiteral("-C"), QStringLiteral("-v")};
        QTest::newRow("every byte value") << "pending" << QList<QByteArray>{[] {
            QByteArray all(256, Qt::Uninitialized);
            for (int i = 0; i < 256; ++i)
                all[i] = char(i);
            return all;
        }()} << canonical;
    }

    void savedDumpIsHexdumpOfEachTelegram()
    {
        QFETCH(QString, form);
        QFETCH(QList<QByteArray>, telegrams);
        QFETCH(QStringList, arguments);

        CLineStore store;
        CDumpModel model(store);
        QByteArray expected;
        for (qsizetype i = 0; i < telegrams.size(); ++i) {
            const char direction = i % 3 == 2 ? 'S' : 'R';
            store.Append(Lines(telegrams[i], form, direction, 1'000'000 + 1'500 * i));
            QString lead = kLead;
            lead[lead.size() - 2] = QLatin1Char(direction);
            expected += CDumpFormat::Header(lead, telegrams[i].size(), i == 0 ? -1 : 1'500, QString()).toUtf8() + '\n';
            expected += Hexdump(telegrams[i], arguments);
        }
        QVERIFY(model.Sync());
        QCOMPARE(model.Count(), telegrams.size());
        const QByteArray saved = model.Text();
        QCOMPARE(saved, expected);
        // The rows as the view draws them, one by one, are the saved ones.
        QCOMPARE(model.RowCount(), saved.count('\n'));
        const QList<QByteArray> rows = saved.split('\n');
        for (int row = 0; row < model.RowCount(); row += 7)
            QCOMPARE(model.RowText(row).toUtf8(), rows[row]);
        QVERIFY(!rows[0].contains("  +"));
        if (model.Count() > 1)
            QVERIFY(rows[model.FirstRow(1)].endsWith("  +1.500 ms"));
    }

    void findsAndFilters_data()
    {
        QTest::addColumn<QString>("pattern");  // hex
        QTest::addColumn<char>("direction");
        QTest::addColumn<bool>("matchingOnly");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<int>("shown");

        // The telegrams below: R 00..1F, S 12 34 12 34 12, R "AB\r\nCD".
        QTest::newRow("across a row break") << "0F 10" << char(0) << false << qint64(1) << 3;
        QTest::newRow("not across two bytes' digits") << "23" << char(0) << false << qint64(0) << 3;
        QTest::newRow("overlapping ones all count") << "123412" << char(0) << false << qint64(2) << 3;
        QTest::newRow("across a text line break") << "0D0A43" << char(0) << false << qint64(1) << 3;
        QTest::newRow("matching only") << "34" << char(0) << true << qint64(2) << 1;
        QTest::newRow("received only") << "12" << 'R' << false << qint64(1) << 2;
        QTest::newRow("sent, matching only, none") << "1D" << 'S' << true << qint64(0) << 0;
        QTest::newRow("no pattern: the filter lets all through") << "" << char(0) << true << qint64(0) << 3;
    }

    void findsAndFilters()
    {
        QFETCH(QString, pattern);
        QFETCH(char, direction);
        QFETCH(bool, matchingOnly);
        QFETCH(qint64, total);
        QFETCH(int, shown);

        CLineStore store;
        CDumpModel model(store);
        QByteArray counting(32, Qt::Uninitialized);
        for (int i = 0; i < 32; ++i)
            counting[i] = char(i);
        store.Append(Lines(counting, QStringLiteral("hex"), 'R', 1));
        store.Append(Lines(QByteArray::fromHex("1234123412"), QStringLiteral("pending"), 'S', 2));
        store.Append(Lines("AB\r\nCD", QStringLiteral("text"), 'R', 3));
        model.Sync();
        model.SetPattern(QByteArray::fromHex(pattern.toLatin1()));
        model.SetFilter(direction, matchingOnly);
        QCOMPARE(model.MatchTotal(), total);
        QCOMPARE(model.Count(), shown);
        qint64 found = 0;
        for (int t = 0; t < model.Count(); ++t) {
            QCOMPARE(model.MatchesBefore(t), found);
            for (const qsizetype offset : model.Matches(t))
                QCOMPARE(model.BytesOf(t, offset, pattern.size() / 2 + 1).left(model.Pattern().size()), model.Pattern());
            found += qint64(model.Matches(t).size());
        }
        QCOMPARE(found, total);
    }

    void trimmedLinesLeave()
    {
        CLineStore store;
        store.SetBudget(3 * (CLineStore::kLineOverhead + 64));
        CDumpModel model(store);
        for (int i = 0; i < 5; ++i) {
            store.Append(Lines(QByteArray(20, char(i)), QStringLiteral("hex"), 'R', 1 + i));
            model.Sync();
        }
        QCOMPARE(model.Count(), store.Count());
        QCOMPARE(model.BytesOf(0), QByteArray(20, char(5 - store.Count())));
        store.Clear();
        QVERIFY(model.Sync());
        QCOMPARE(model.RowCount(), 0);
        store.Append(Lines("x", QStringLiteral("hex"), 'R', 99));
        model.Sync();
        QVERIFY(!model.RowText(0).contains(QLatin1String(" ms")));  // nothing before it after a clear
    }

    void columnsName_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("byte");
        QTest::newRow("offset") << 3 << -1;
        QTest::newRow("first digit") << 10 << 0;
        QTest::newRow("blank after byte 7") << 33 << 7;
        QTest::newRow("gap between the halves") << 34 << -1;
        QTest::newRow("byte 8") << 35 << 8;
        QTest::newRow("last digit") << 57 << 15;
        QTest::newRow("bar") << 60 << -1;
        QTest::newRow("first character") << 61 << 0;
        QTest::newRow("last character") << 76 << 15;
        QTest::newRow("closing bar") << 77 << -1;
    }

    void columnsName()
    {
        QFETCH(int, column);
        QFETCH(int, byte);
        QCOMPARE(CDumpFormat::ByteAtColumn(column), byte);
        if (byte >= 0)
            QVERIFY(column < CDumpFormat::kAsciiColumn ? CDumpFormat::HexColumn(byte) <= column
                                                       : CDumpFormat::AsciiColumn(byte) == column);
    }
};

QTEST_GUILESS_MAIN(TestDumpModel)
#include "tst_dumpmodel.moc"
