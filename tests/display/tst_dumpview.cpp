// The History's dump view as a user drives it: Ctrl+D and the profile, the saved and recorded dump
// against the hexdump program, find across rows, filter, the inspector, copy forms, checksum marks.
#include "display/cdumpformat.h"
#include "display/ui/cdumpview.h"
#include "display/ui/cfindbar.h"
#include "display/ui/clineview.h"
#include "display/ui/cmessagewnd.h"
#include "display/clinerecorder.h"
#include "platform/ui/uifonts.h"
#include "support/tempconfighome.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

std::unique_ptr<CMessageWnd> History()
{
    auto window = std::make_unique<CMessageWnd>();
    window->Create(nullptr, KIND_HISTORY);
    window->setEnabled(true);
    window->resize(700, 500);
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window.get()) ? std::move(window) : nullptr;
}

void Add(CMessageWnd &window, const QString &prefix, const QByteArray &data)
{
    window.AddTelegramLines({prefix}, reinterpret_cast<const unsigned char *>(data.constData()), int(data.size()));
}

QByteArray Hexdump(const QByteArray &bytes)
{
    QProcess process;
    process.start(QStringLiteral("hexdump"), {QStringLiteral("-C")});
    process.write(bytes);
    process.closeWriteChannel();
    return process.waitForFinished(30000) && process.exitCode() == 0 ? process.readAllStandardOutput() : "failed";
}

QByteArray FileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Each heading of `text` checked against its telegram and replaced by a mark, for comparing the rest.
QByteArray CheckedHeadings(const QByteArray &text, const QList<QByteArray> &telegrams, const QStringList &prefixes)
{
    QByteArray result;
    qsizetype at = 0;
    for (qsizetype i = 0; i < telegrams.size() && at < text.size(); ++i) {
        const qsizetype end = text.indexOf('\n', at);
        const QString heading = QString::fromUtf8(text.mid(at, end - at));
        const QRegularExpression form(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d  %1  %2 ﾊﾞｲﾄ%3$")
                                          .arg(QRegularExpression::escape(prefixes[i].trimmed()))
                                          .arg(telegrams[i].size())
                                          .arg(i == 0 ? QString() : QStringLiteral("  \\+\\d+\\.\\d\\d\\d ms")));
        result += form.match(heading).hasMatch() ? QByteArray("(heading)\n") : "(heading wrong: " + heading.toUtf8() + ")\n";
        at = end + 1;
        // The rows: as many bytes as hexdump writes for the telegram.
        const qsizetype rows = Hexdump(telegrams[i]).size();
        result += text.mid(at, rows);
        at += rows;
    }
    return result + text.mid(at);
}

}  // namespace

class TestDumpView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }

    void savedAndRecordedDumpIsHexdumpOfEachTelegram_data()
    {
        QTest::addColumn<bool>("hiddenWhileArriving");  // the bytes wait for their digits
        QTest::addColumn<bool>("textDisplay");
        QTest::newRow("shown") << false << false;
        QTest::newRow("arrived while hidden") << true << false;
        QTest::newRow("text display") << false << true;
    }

    void savedAndRecordedDumpIsHexdumpOfEachTelegram()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("hexdump")).isEmpty())
            QSKIP("hexdump is missing (Debian package bsdextrautils; ./test.sh installs it)");
        QFETCH(bool, hiddenWhileArriving);
        QFETCH(bool, textDisplay);
        TempConfigHome home;
        auto window = History();
        QVERIFY(window);
        window->SetDumpView(true);
        qobject_cast<QCheckBox *>(window->GetDlgItem(CMessageWnd::IDC_TEXT_DISPLAY))->setChecked(textDisplay);
        const QString recorded = home.FilePath(QStringLiteral("recorded.log"));
        if (!hiddenWhileArriving)
            QVERIFY(window->StartRecordingTo(recorded));
        else
            window->hide();
        QRandomGenerator random(4343);
        QList<QByteArray> telegrams;
        QStringList prefixes;
        for (int i = 0; i < 20; ++i) {
            QByteArray telegram(int(random.bounded(1, 300)), Qt::Uninitialized);
            for (char &c : telegram)  // no zero byte: a text display keeps the bytes up to one
                c = char(random.bounded(1, 256));
            telegrams.append(telegram);
            prefixes.append(i % 4 == 3 ? QStringLiteral("S ") : i % 2 ? QStringLiteral("R@127.0.0.1:%1 ").arg(1000 + i)
                                                                       : QStringLiteral("R#3 "));
            Add(*window, prefixes.back(), telegram);
        }
        window->show();
        const QString saved = home.FilePath(QStringLiteral("saved.txt"));
        QVERIFY(window->SaveTo(saved, nullptr));
        const QByteArray text = FileText(saved);
        QByteArray expected;
        for (const QByteArray &telegram : telegrams)
            expected += "(heading)\n" + Hexdump(telegram);
        QCOMPARE(CheckedHeadings(text, telegrams, prefixes), expected);
        if (!hiddenWhileArriving) {
            window->StopRecording();
            QCOMPARE(CheckedHeadings(FileText(recorded), telegrams, prefixes), expected);
        }
    }

    void ctrlDSwitchesAndIsRemembered()
    {
        TempConfigHome home;
        auto window = History();
        QVERIFY(window);
        Add(*window, QStringLiteral("R "), "hello");
        QVERIFY(window->TextArea()->isVisible());
        QTest::keyClick(window.get(), Qt::Key_D, Qt::ControlModifier);
        QVERIFY(window->DumpView());
        QVERIFY(window->Dump()->isVisible());
        QVERIFY(!window->TextArea()->isVisible());
        QCOMPARE(window->Dump()->Model().RowText(1),
                 QStringLiteral("00000000  68 65 6c 6c 6f                                    |hello|"));
        auto again = History();
        QVERIFY(again->DumpView());
        QTest::keyClick(again.get(), Qt::Key_D, Qt::ControlModifier);
        QVERIFY(!again->DumpView());
        QVERIFY(again->TextArea()->isVisible());
        QVERIFY(!History()->DumpView());
        // The lines stay as they were: the Part's look.
        QCOMPARE(window->LineCount(), 1);
        QVERIFY(window->LineText(0).endsWith(QLatin1String("R 68656C6C6F")));
    }

    void findsAcrossRowsAndFilters_data()
    {
        QTest::addColumn<int>("mode");  // 0 text, 1 hex
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("direction");  // the find bar's choice: 0 all, 1 received, 2 sent
        QTest::addColumn<bool>("matchingOnly");
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("telegrams");
        QTest::addColumn<int>("selected");  // bytes of the current match
        QTest::newRow("hex across a row") << 1 << "0e 0f 10 11" << 0 << false << "1 / 1" << 3 << 4;
        QTest::newRow("text across a row") << 0 << "ABCD" << 0 << true << "1 / 1" << 1 << 4;
        QTest::newRow("text in code page 932") << 0 << "あ" << 0 << true << "1 / 2" << 2 << 2;
        QTest::newRow("sent only") << 1 << "82A0" << 2 << false << "1 / 1" << 1 << 2;
        QTest::newRow("nothing") << 1 << "FFFF" << 0 << true << "0 / 0" << 0 << 0;
    }

    void findsAcrossRowsAndFilters()
    {
        QFETCH(int, mode);
        QFETCH(QString, pattern);
        QFETCH(int, direction);
        QFETCH(bool, matchingOnly);
        QFETCH(QString, count);
        QFETCH(int, telegrams);
        QFETCH(int, selected);
        TempConfigHome home;
        auto window = History();
        QVERIFY(window);
        window->SetDumpView(true);
        QByteArray counting(32, Qt::Uninitialized);
        for (int i = 0; i < 32; ++i)
            counting[i] = char(i);
        Add(*window, QStringLiteral("R "), counting);
        Add(*window, QStringLiteral("R "), QByteArray(14, '.') + "AB" + "CD\x82\xa0");
        Add(*window, QStringLiteral("S "), "\x82\xa0");
        window->ShowFindBar();
        CFindBar *bar = window->FindBar();
        bar->ModeBox()->setCurrentIndex(mode);
        bar->DirectionBox()->setCurrentIndex(direction);
        bar->MatchingOnlyBox()->setChecked(matchingOnly);
        bar->Edit()->setText(pattern);
        QCOMPARE(bar->CountText(), count);
        QCOMPARE(window->Dump()->Model().Count(), telegrams);
        QCOMPARE(window->Dump()->SelectedBytes().size(), selected);
        // Saved as shown: only the telegrams the filter lets through.
        QVERIFY(window->SaveTo(home.FilePath(QStringLiteral("f.txt")), nullptr));
        QCOMPARE(FileText(home.FilePath(QStringLiteral("f.txt"))).count("ﾊﾞｲﾄ"), telegrams);
    }

    void selectedBytesAreReadAndCopied()
    {
        TempConfigHome home;
        auto window = History();
        QVERIFY(window);
        window->SetDumpView(true);
        Add(*window, QStringLiteral("R "), QByteArray::fromHex("0001020304050607 08090A0B0C0D0E0F 1011"));
        CDumpView *view = window->Dump();
        QTRY_COMPARE(view->Model().RowCount(), 4);
        // A drag from byte 0x0E to byte 0x11, across the row break, in the hex column.
        const int y0 = view->LineHeight() / 2 + view->LineHeight();
        const auto x = [view](int column) { return int((column + 0.5) * view->CharWidth()) + 2; };
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, QPoint(x(CDumpFormat::HexColumn(14)), y0));
        QTest::mouseMove(view->viewport(), QPoint(x(CDumpFormat::AsciiColumn(1)), y0 + view->LineHeight()));
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, QPoint(x(CDumpFormat::AsciiColumn(1)), y0 + view->LineHeight()));
        QCOMPARE(view->SelectedBytes(), QByteArray::fromHex("0E0F1011"));
        QVERIFY2(view->InspectorText().contains(QLatin1String("u32 LE 286265102  BE 235868177    i32 LE")),
                 qPrintable(view->InspectorText()));
        view->CopyAs(CByteForms::CArray);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("{0x0e, 0x0f, 0x10, 0x11}"));
        view->Copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("0E 0F 10 11"));
        // A click on the heading takes the whole telegram.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(x(3), view->LineHeight() / 2));
        view->CopyAs(CByteForms::HexCompact);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("000102030405060708090A0B0C0D0E0F1011"));
        QVERIFY(view->InspectorText().contains(QStringLiteral("8 ﾊﾞｲﾄまで")));
    }

    void checksumMarksAndSteps()
    {
        TempConfigHome home;
        auto window = History();
        QVERIFY(window);
        window->SetDumpView(true);
        QVERIFY(window->SetChecksumCheck(QStringLiteral("CRC-16/MODBUS:le"), nullptr));
        Add(*window, QStringLiteral("R "), QByteArray::fromHex("01030000000AC5CD"));
        Add(*window, QStringLiteral("S "), QByteArray::fromHex("01030000000AC5CE"));
        Add(*window, QStringLiteral("R "), QByteArray::fromHex("01030000000AC5CE"));
        CDumpModel &model = window->Dump()->Model();  // caught up with the three
        QVERIFY(model.RowText(model.FirstRow(0)).endsWith(QStringLiteral("ﾁｪｯｸｻﾑ正常")));
        QVERIFY(!model.RowText(model.FirstRow(1)).contains(QStringLiteral("ﾁｪｯｸｻﾑ")));
        QVERIFY(model.RowText(model.FirstRow(2)).endsWith(QStringLiteral("ﾁｪｯｸｻﾑ異常")));
        const CChecksumCheck::Field field = model.FieldOf(2);
        QCOMPARE(QList<qsizetype>({field.coveredBegin, field.coveredEnd, field.sumBegin, field.sumEnd}),
                 QList<qsizetype>({0, 6, 6, 8}));
        QVERIFY(window->GoToBadChecksum(true));
        QCOMPARE(window->FindBar()->CountText(), QStringLiteral("ﾁｪｯｸｻﾑ異常 %1行目").arg(model.FirstRow(2) + 1));
        QVERIFY(!window->GoToBadChecksum(true));
    }
};

QTEST_MAIN(TestDumpView)
#include "tst_dumpview.moc"
