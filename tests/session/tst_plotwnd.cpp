// The ｸﾞﾗﾌ window and the ﾁｬﾝﾈﾙ dialog: the readout, zoom, pan, pause and follow, crossings marked only
// where they are shown, a million points a channel drawn, the saved files, the table edited, and the
// 表示 menu opening the window.
#include "res/commandids.h"
#include "sessionharness.h"
#include "session/ui/cchannelsdlg.h"
#include "session/ui/cplotcanvas.h"
#include "session/ui/cplotwnd.h"
#include "platform/cp932.h"

#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <cmath>

namespace {

constexpr qint64 kStart = 1765400000000000LL;  // microseconds since the epoch

CChannel Channel(const QString &name, const QString &unit, double low, double high)
{
    CChannel c;
    c.name = name;
    c.unit = unit;
    c.pattern = QStringLiteral("(\\d+)");
    c.low = low;
    c.high = high;
    return c;
}

// Channel 温度 [℃]: `points` values 1 ms apart, a slow wave from 20 to 30 that rises above its high
// limit of 29 around its peaks; channel 電圧 [V]: one value a second.
void Fill(CChannelValues *values, qsizetype points)
{
    const double none = std::numeric_limits<double>::quiet_NaN();
    values->SetChannels({Channel(QStringLiteral("温度"), QStringLiteral("℃"), none, 29.0),
                         Channel(QStringLiteral("電圧"), QStringLiteral("V"), 4.5, none)});
    for (qsizetype i = 0; i < points; ++i) {
        const qint64 when = kStart + qint64(i) * 1000;
        values->Add(0, when, 25.0 + 5.0 * std::sin(double(i) / 20000.0));
        if (i % 1000 == 0)
            values->Add(1, when, 5.0 + 0.1 * double((i / 1000) % 7));
    }
}

int RedPixels(const QImage &image)
{
    int red = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            red += image.pixel(x, y) == qRgb(0xd0, 0x00, 0x00) ? 1 : 0;
    }
    return red;
}

}  // namespace

class TestPlotWnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readoutZoomPanPauseAndFollow()
    {
        CChannelValues values;
        Fill(&values, 60000);
        CPlotWnd window(&values, nullptr);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        CPlotCanvas *canvas = window.Canvas();
        // Following, a minute: the newest value at the right edge.
        QVERIFY(canvas->IsFollowing());
        const auto [low, high] = canvas->Shown();
        QCOMPARE(high, kStart + 59999 * 1000 + 1);
        QCOMPARE(high - low, 60LL * 1000 * 1000);

        const QStringList readout = canvas->ReadoutAt(kStart + 2000 * 1000 + 500);
        QCOMPARE(readout.size(), 3);
        QCOMPARE(readout[1], QStringLiteral("温度 = %1 ℃").arg(CChannelTable::NumberText(25.0 + 5.0 * std::sin(2000.0 / 20000.0))));
        QCOMPARE(readout[2], QStringLiteral("電圧 = 5.2 V"));
        QCOMPARE(canvas->ReadoutAt(kStart - 1).mid(1), (QStringList{QStringLiteral("温度 = -"), QStringLiteral("電圧 = -")}));

        // The wheel zooms around the mouse; dragging pans; a double click follows again.
        const QPointF middle(canvas->width() / 2.0, canvas->height() / 2.0);
        const qint64 at = canvas->TimeAtX(int(middle.x()));
        QWheelEvent wheel(middle, canvas->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(canvas, &wheel);
        QVERIFY(!canvas->IsFollowing());
        const auto zoomed = canvas->Shown();
        QVERIFY(std::llabs((zoomed.second - zoomed.first) - 48LL * 1000 * 1000) < 1000);
        QVERIFY(zoomed.first < at && at < zoomed.second);
        QTest::mousePress(canvas, Qt::LeftButton, {}, middle.toPoint());
        QTest::mouseMove(canvas, middle.toPoint() + QPoint(100, 0));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, middle.toPoint() + QPoint(100, 0));
        QVERIFY(canvas->Shown().first < zoomed.first);
        QCOMPARE(canvas->Shown().second - canvas->Shown().first, zoomed.second - zoomed.first);
        QTest::mouseDClick(canvas, Qt::LeftButton, {}, middle.toPoint());
        QVERIFY(canvas->IsFollowing());

        // Paused, the times shown hold while values come; resumed, it follows them.
        window.SetPaused(true);
        const auto paused = canvas->Shown();
        values.Add(0, kStart + 120LL * 1000 * 1000, 26.0);
        window.Refresh();
        QCOMPARE(canvas->Shown(), paused);
        window.SetPaused(false);
        QCOMPARE(canvas->Shown().second, kStart + 120LL * 1000 * 1000 + 1);
        QCOMPARE(window.StatusText(), QStringLiteral("2 ﾁｬﾝﾈﾙ 60061 点"));
    }

    void crossingsAreMarkedWhereShown_data()
    {
        QTest::addColumn<qlonglong>("from");
        QTest::addColumn<qlonglong>("to");
        QTest::addColumn<bool>("marked");
        // The wave passes 29 first at i ≈ 18,546 (sin⁻¹(0.8) × 20,000): 18.5 s after the start.
        QTest::newRow("around the first crossing") << 15LL << 25LL << true;
        QTest::newRow("before it") << 0LL << 15LL << false;
    }
    void crossingsAreMarkedWhereShown()
    {
        QFETCH(qlonglong, from);
        QFETCH(qlonglong, to);
        QFETCH(bool, marked);
        CChannelValues values;
        Fill(&values, 60000);
        QVERIFY(!values.Crossings(0).empty());
        QCOMPARE(values.Crossings(0).front().high, true);
        CPlotWnd window(&values, nullptr);
        window.show();
        window.Canvas()->ShowRange(kStart + from * 1000000, kStart + to * 1000000);
        QCOMPARE(RedPixels(window.Canvas()->grab().toImage()) > 0, marked);
    }

    void aMillionPointsAChannelDrawAndSave()
    {
        CChannelValues values;
        Fill(&values, 1000000);
        CPlotWnd window(&values, nullptr);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.Canvas()->SetSpan(0);  // everything: a million points in the picture
        QElapsedTimer clock;
        clock.start();
        const QImage picture = window.Canvas()->grab().toImage();
        // A generous bound for a loaded machine; bench/RESULTS.md has the figure.
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(RedPixels(picture) > 0);
        QTemporaryDir dir;
        QString error;
        QVERIFY(window.SavePng(dir.filePath(QStringLiteral("p.png")), &error));
        QCOMPARE(QImage(dir.filePath(QStringLiteral("p.png"))).size(), window.Canvas()->size());
        QVERIFY(!window.SavePng(QStringLiteral("/dev/full"), &error));
        QVERIFY(window.SaveCsv(dir.filePath(QStringLiteral("v.csv")), &error));
        QFile csv(dir.filePath(QStringLiteral("v.csv")));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readLine(), ToCp932(QStringLiteral("\"時刻\",\"温度 [℃]\",\"電圧 [V]\",\r\n")));
        // Screenshots for the documentation: QN_SCREENSHOTS names a folder.
        if (qEnvironmentVariableIsSet("QN_SCREENSHOTS")) {
            CChannelValues some;
            Fill(&some, 120000);
            CPlotWnd shown(&some, nullptr);
            shown.show();
            QVERIFY(QTest::qWaitForWindowExposed(&shown));
            shown.Refresh();
            const QPoint inside(shown.Canvas()->width() * 2 / 3, shown.Canvas()->height() / 2);
            QTest::mouseMove(shown.Canvas(), inside);
            shown.grab().save(qEnvironmentVariable("QN_SCREENSHOTS") + QStringLiteral("/plot.png"));
        }
    }

    void theChannelsDialogChecksImportsAndExports_data()
    {
        QTest::addColumn<int>("column");  // from 0
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("good") << 0 << QStringLiteral("温度") << QString();
        QTest::newRow("type") << 12 << QStringLiteral("u24") << QStringLiteral("1 行目 13 列目 (型): 型が正しくありません。");
        QTest::newRow("limit") << 17 << QStringLiteral("x") << QStringLiteral("1 行目 18 列目 (上限): 項目が正しくありません。");
    }
    void theChannelsDialogChecksImportsAndExports()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(QString, error);
        CChannel binary;
        binary.name = QStringLiteral("圧力");
        binary.source = CChannel::SourceBinary;
        binary.offset = 2;
        binary.type = CChannel::I16;
        binary.bigEndian = true;
        CChannelTable table;
        table.channels << binary;
        CChannelsDlg dialog(table);
        QCOMPARE(dialog.Grid()->rowCount(), 1);
        dialog.Grid()->item(0, column)->setText(text);
        QString why;
        QCOMPARE(dialog.Check(&why), error.isEmpty());
        QCOMPARE(why, error);
        if (!error.isEmpty()) {
            QCOMPARE(dialog.Grid()->currentColumn(), column);
            return;
        }
        QCOMPARE(dialog.Table().channels.value(0).name, text);
        dialog.ChecksumEdit()->setText(QStringLiteral("CRC-16/NOPE"));
        QVERIFY(!dialog.Check(&why));
        QVERIFY(why.startsWith(QStringLiteral("ﾁｪｯｸｻﾑ: ")));
        dialog.ChecksumEdit()->setText(QStringLiteral("CRC-16/MODBUS:le"));
        QVERIFY(dialog.Check(&why));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("c.csv"));
        QVERIFY(dialog.Export(path, &why));
        CChannelsDlg other{CChannelTable()};
        QVERIFY(other.Import(path, &why));
        QVERIFY(other.Check(&why));
        QCOMPARE(other.Table().channels, dialog.Table().channels);
    }

    void theViewMenuOpensThePlotOfTheDocumentsChannels()
    {
        SessionHarness h;
        CChannelTable table;
        table.channels << Channel(QStringLiteral("t"), QString(), 0, 1);
        h.View()->SetChannels(table);
        QVERIFY(h.Doc().IsModified());
        QVERIFY(!h.View()->PlotWindow());
        h.Command(ID_VIEW_PLOT);
        QVERIFY(h.View()->PlotWindow() && h.View()->PlotWindow()->isVisible());
        QCOMPARE(h.View()->PlotWindow()->StatusText(), QStringLiteral("1 ﾁｬﾝﾈﾙ 0 点"));
        CChannelTable stored;
        QVERIFY(stored.Load(h.Doc()));
        QCOMPARE(stored, table);
    }
};

QTEST_MAIN(TestPlotWnd)
#include "tst_plotwnd.moc"
