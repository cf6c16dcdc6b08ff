// The message windows' tools: find bar, filter with lines arriving, save, record, stamps, encodings,
// and the choices kept in the profile.
#include "support/threadnames.h"
#include "display/ui/cfindbar.h"
#include "display/clinerecorder.h"
#include "display/ui/clineview.h"
#include "display/ui/cmessagewnd.h"
#include "platform/cchecksumrule.h"
#include "platform/ui/uifonts.h"
#include "support/scriptedprompts.h"
#include "support/tempconfighome.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHelpEvent>
#include <QImage>
#include <QLineEdit>
#include <QRegularExpression>
#include <QPrinter>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QShortcut>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::unique_ptr<CMessageWnd> MakeWindow(int kind)
{
    auto window = std::make_unique<CMessageWnd>();
    window->Create(nullptr, kind);
    window->setEnabled(true);
    return window;
}

// A History shown and active (its keys reach it); null when it does not become active.
std::unique_ptr<CMessageWnd> ActiveHistory()
{
    auto window = MakeWindow(KIND_HISTORY);
    window->resize(600, 400);
    window->show();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window.get()) ? std::move(window) : nullptr;
}

void Add(CMessageWnd &window, const char *prefix, const QByteArray &data)
{
    window.AddTelegram(QString::fromLatin1(prefix), reinterpret_cast<const unsigned char *>(data.constData()),
                       int(data.size()));
}

QStringList WithoutStamps(const QStringList &lines)
{
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d(\\.\\d\\d\\d)?  "));
    QStringList result;
    for (const QString &line : lines)
        result << QString(line).remove(stamp);
    return result;
}

QByteArray FileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

QByteArray Joined(const QStringList &lines)
{
    QByteArray text;
    for (const QString &line : lines)
        text += line.toUtf8() + '\n';
    return text;
}

}  // namespace

class TestMessageTools : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }

    void findBarCountsAndStepsThroughMatches()
    {
        TempConfigHome home;
        auto window = ActiveHistory();
        QVERIFY(window);
        for (const char *data : {"\x41\x0d\x0a", "\x10\xd0\xa0", "\x0d\x0a\x0d\x0a"})
            Add(*window, "R ", data);
        window->ShowFindBar();
        CFindBar *bar = window->FindBar();
        QVERIFY(!bar->isHidden());
        bar->ModeBox()->setCurrentIndex(1);
        bar->Edit()->setText(QStringLiteral("0d0a"));
        QCOMPARE(bar->CountText(), QStringLiteral("1 / 3"));
        QCOMPARE(window->TextArea()->SelectedText(), QStringLiteral("0D0A"));
        QTest::keyClick(window.get(), Qt::Key_F3);
        QCOMPARE(bar->CountText(), QStringLiteral("2 / 3"));
        QTest::keyClick(bar->Edit(), Qt::Key_Return);
        QCOMPARE(bar->CountText(), QStringLiteral("3 / 3"));
        QTest::keyClick(window.get(), Qt::Key_F3);
        QCOMPARE(bar->CountText(), QStringLiteral("1 / 3"));
        QTest::keyClick(window.get(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(bar->CountText(), QStringLiteral("3 / 3"));
        // Lines arriving count at once; text that is not hex finds nothing.
        Add(*window, "S ", "\x0d\x0a");
        QCOMPARE(bar->CountText(), QStringLiteral("3 / 4"));
        bar->Edit()->setText(QStringLiteral("0x0d"));
        QCOMPARE(bar->CountText(), QStringLiteral("0 / 0"));
        QCOMPARE(bar->Edit()->palette().color(QPalette::Text), QColor(Qt::red));
        // Esc hides the bar and its marks, the window stays.
        QTest::keyClick(bar->Edit(), Qt::Key_Escape);
        QVERIFY(bar->isHidden());
        QVERIFY(!window->TextArea()->Search().IsActive());
        QVERIFY(window->isVisible());
    }

    // A key of the whole program (a command panel's F3) does not take the find's keys from an active
    // History, and works as before while another window is active.
    void findKeysWinOverAProgramWideKey_data()
    {
        QTest::addColumn<bool>("historyActive");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("programWide");  // times the program-wide key fired
        QTest::newRow("F3 in the History") << true << 0 << "2 / 3" << 0;
        QTest::newRow("Shift+F3 in the History") << true << int(Qt::ShiftModifier) << "3 / 3" << 0;
        QTest::newRow("F3 in another window") << false << 0 << "1 / 3" << 1;
        QTest::newRow("Shift+F3 in another window") << false << int(Qt::ShiftModifier) << "1 / 3" << 1;
    }
    void findKeysWinOverAProgramWideKey()
    {
        QFETCH(bool, historyActive);
        QFETCH(int, modifiers);
        QFETCH(QString, count);
        QFETCH(int, programWide);
        TempConfigHome home;
        QWidget other;
        other.resize(200, 100);
        int fired = 0;
        const auto key = QKeySequence(Qt::KeyboardModifiers(modifiers) | Qt::Key_F3);
        auto *shortcut = new QShortcut(key, &other);
        shortcut->setContext(Qt::ApplicationShortcut);
        connect(shortcut, &QShortcut::activated, this, [&fired] { ++fired; });
        other.show();  // a shortcut of a hidden widget is never looked at
        QVERIFY(QTest::qWaitForWindowExposed(&other));
        auto window = ActiveHistory();
        QVERIFY(window);
        for (const char *data : {"\x0d\x0a", "\x0d\x0a", "\x0d\x0a"})
            Add(*window, "R ", data);
        window->ShowFindBar();
        window->FindBar()->ModeBox()->setCurrentIndex(1);
        window->FindBar()->Edit()->setText(QStringLiteral("0d0a"));
        QCOMPARE(window->FindBar()->CountText(), QStringLiteral("1 / 3"));
        QWidget *target = window->TextArea();
        if (!historyActive) {
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            target = &other;
        } else {
            target->setFocus();
        }
        QTest::keyClick(target, Qt::Key_F3, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(window->FindBar()->CountText(), count);
        QCOMPARE(fired, programWide);
    }

    void printWritesWhatIsShownInPages_data()
    {
        QTest::addColumn<bool>("dump");
        QTest::addColumn<int>("telegrams");
        QTest::addColumn<int>("bytes");  // of each
        QTest::addColumn<QString>("last");  // what the last page holds, spaces left out
        QTest::addColumn<bool>("pages");  // more than one page
        QTest::newRow("lines") << false << 3 << 8 << "R0203080B0E11C5CD" << false;
        QTest::newRow("dump") << true << 3 << 8 << "000000000203080b0e11c5cd|........|00000008" << false;
        QTest::newRow("lines over pages") << false << 400 << 2 << "R8F01" << true;
        QTest::newRow("a line wider than the page goes on") << false << 1 << 300 << "7BC5CD" << false;
    }
    void printWritesWhatIsShownInPages()
    {
        QFETCH(bool, dump);
        QFETCH(int, telegrams);
        QFETCH(int, bytes);
        QFETCH(QString, last);
        QFETCH(bool, pages);
        TempConfigHome home;
        auto window = MakeWindow(KIND_HISTORY);
        for (int i = 0; i < telegrams; ++i) {
            QByteArray data(bytes, '\0');
            for (int b = 0; b < bytes; ++b)
                data[b] = char(b * 3 + i);
            if (bytes > 2)
                data.replace(bytes - 2, 2, "\xc5\xcd");
            data[1] = char(i >> 8 | (bytes > 2 ? 0x03 : 0x01));
            Add(*window, "R ", data);
        }
        window->SetDumpView(dump);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("history.pdf"));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        const int printed = window->PrintTo(&printer);
        QCOMPARE(printed > 1, pages);
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext is missing (Debian package poppler-utils; ./test.sh installs it)");
        QProcess process;
        process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(process.waitForFinished(30000));
        const QStringList text = QString::fromUtf8(process.readAllStandardOutput()).split(u'\f', Qt::SkipEmptyParts);
        QCOMPARE(text.size(), printed);
        QString lastPage = text.constLast();
        lastPage.remove(QRegularExpression(QStringLiteral("\\s")));
        QVERIFY2(lastPage.endsWith(last), qPrintable(lastPage.right(80)));
    }

    void filterShowsMatchingLinesAlsoAsTheyArrive_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matchingOnly");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("matching only") << QStringLiteral("AA") << true << 0
                                       << QStringList{"R AA01", "S 02AA", "R AA03"};
        QTest::newRow("received only") << QString() << false << 1 << QStringList{"R AA01", "R 0B", "R AA03"};
        QTest::newRow("sent and matching") << QStringLiteral("AA") << true << 2 << QStringList{"S 02AA"};
        QTest::newRow("no filter") << QStringLiteral("AA") << false << 0
                                   << QStringList{"R AA01", "S 02AA", "R 0B", "S 0C", "R AA03"};
    }

    void filterShowsMatchingLinesAlsoAsTheyArrive()
    {
        QFETCH(QString, pattern);
        QFETCH(bool, matchingOnly);
        QFETCH(int, direction);
        QFETCH(QStringList, shown);
        TempConfigHome home;
        auto window = MakeWindow(KIND_HISTORY);
        Add(*window, "R ", "\xaa\x01");
        Add(*window, "S ", "\x02\xaa");
        window->ShowFindBar();
        CFindBar *bar = window->FindBar();
        bar->Edit()->setText(pattern);
        bar->MatchingOnlyBox()->setChecked(matchingOnly);
        bar->DirectionBox()->setCurrentIndex(direction);
        Add(*window, "R ", "\x0b");
        Add(*window, "S ", "\x0c");
        Add(*window, "R ", "\xaa\x03");
        QCOMPARE(WithoutStamps(window->TextArea()->ShownLines()), shown);
        QCOMPARE(window->TextArea()->RowCount(), int(shown.size()));
        QCOMPARE(window->LineCount(), 5);
        // Hiding the bar shows every line again.
        window->HideFindBar();
        QCOMPARE(window->TextArea()->RowCount(), 5);
    }

    void saveAndRecordWriteTheShownLines()
    {
        TempConfigHome home;
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        auto window = MakeWindow(KIND_HISTORY);
        window->SetMilliseconds(true);
        window->SetResponseTime(true);
        const QString recorded = dir.filePath(QStringLiteral("run.log"));
        prompts.fileNames.enqueue(recorded);
        const QString caption = window->windowTitle();
        QVERIFY(window->StartRecording());
        QCOMPARE(prompts.calls.last().request.kind, QStringLiteral("txt"));
        QCOMPARE(window->windowTitle(), caption + QStringLiteral("  記録中: run.log"));
        QTRY_VERIFY(ThreadNames().contains(QStringLiteral("qn-recorder")));
        Add(*window, "S ", "\x01");
        Add(*window, "R ", "\x02\xff");
        qobject_cast<QCheckBox *>(window->GetDlgItem(CMessageWnd::IDC_TEXT_DISPLAY))->setChecked(true);
        Add(*window, "R ", "\x93\xfa\x96\x7b\r\nx");
        window->Recorder()->WaitWritten();
        const QStringList lines = window->Lines();
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[1].contains(QRegularExpression(QStringLiteral("\\.\\d\\d\\d  R \\(\\+\\d+\\.\\d\\d\\d ms\\) 02FF$"))));
        // Only the first R line after an S line answers it.
        QVERIFY(lines[2].contains(QRegularExpression(QStringLiteral("\\.\\d\\d\\d  R (?!\\()"))));
        QCOMPARE(FileText(recorded), Joined(lines));

        const QString saved = dir.filePath(QStringLiteral("saved.txt"));
        prompts.fileNames.enqueue(saved);
        QVERIFY(window->SaveAs());
        QCOMPARE(prompts.calls.last().request.open, false);
        QCOMPARE(FileText(saved), Joined(lines));
        // With a filter on, the shown lines only.
        window->ShowFindBar();
        window->FindBar()->DirectionBox()->setCurrentIndex(2);
        QVERIFY(window->SaveTo(saved, nullptr));
        QCOMPARE(FileText(saved), Joined(lines.mid(0, 1)));
        window->StopRecording();
        QCOMPARE(window->windowTitle(), caption);
        Add(*window, "S ", "\x03");
        QCOMPARE(FileText(recorded), Joined(lines));
        QVERIFY(prompts.MessageTexts().isEmpty());
    }

    void saveFailureKeepsTheOldFileAndSaysSoOnce()
    {
        TempConfigHome home;
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        auto window = MakeWindow(KIND_LOG);
        for (int i = 0; i < 20; ++i)
            window->AddLine(QString(2000, QChar(u'x')));
        const QString path = dir.filePath(QStringLiteral("old.txt"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old");
        }
        // A file size limit makes the write fail part way, as a full disk would.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 10000;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        prompts.fileNames.enqueue(path);
        const bool ok = window->SaveAs();
        setrlimit(RLIMIT_FSIZE, &saved);
        QVERIFY(!ok);
        QCOMPARE(FileText(path), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.txt"});
        QCOMPARE(prompts.MessageTexts().size(), 1);
        QVERIFY(prompts.MessageTexts().first().startsWith(path + QStringLiteral(" に保存できません。\n")));
    }

    void recordingFailureStopsWithOneMessageAfterTheAppend_data()
    {
        QTest::addColumn<bool>("fullDisk");  // else the file's folder disappears
        QTest::addColumn<QString>("cause");
        QTest::newRow("full disk") << true << QStringLiteral("ﾃﾞｨｽｸの空き容量が不足しています。");
        QTest::newRow("folder removed") << false << QStringLiteral("ﾌｧｲﾙまたはﾌｫﾙﾀﾞが見つかりません。");
    }

    void recordingFailureStopsWithOneMessageAfterTheAppend()
    {
        QFETCH(bool, fullDisk);
        QFETCH(QString, cause);
        TempConfigHome home;
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        auto window = MakeWindow(KIND_LOG);
        const QString folder = dir.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(folder));
        const QString path = fullDisk ? QStringLiteral("/dev/full") : folder + QStringLiteral("/run.log");
        QVERIFY(window->StartRecordingTo(path));
        window->AddLine(QStringLiteral("first"));
        window->Recorder()->WaitWritten();
        if (!fullDisk)
            QVERIFY(QDir(folder).removeRecursively());
        // The message comes from the event loop, never from inside the append.
        bool messageInsideAppend = false;
        QTRY_VERIFY([&] {
            const qsizetype before = prompts.calls.size();
            window->AddLine(QStringLiteral("more"));
            messageInsideAppend = messageInsideAppend || prompts.calls.size() != before;
            return !window->IsRecording();
        }());
        QVERIFY(!messageInsideAppend);
        for (int i = 0; i < 10; ++i)
            window->AddLine(QStringLiteral("after"));
        QCoreApplication::processEvents();
        QCOMPARE(prompts.MessageTexts().size(), 1);
        QCOMPARE(prompts.MessageTexts().first(), path + QStringLiteral(" に記録できません。\n") + cause +
                                                     QStringLiteral("\nﾌｧｲﾙへの記録を終了しました。"));
    }

    void recordingOntoAPipeNeverHoldsTheWindow()
    {
        TempConfigHome home;
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        auto window = MakeWindow(KIND_LOG);
        const QString fifo = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        // Nobody reads: an error at once.
        QVERIFY(!window->StartRecordingTo(fifo));
        QCOMPARE(prompts.MessageTexts(), QStringList{fifo + QStringLiteral(" に記録できません。\n読み出す側のないﾊﾟｲﾌﾟです。")});
        // A reader that never reads: the writer is held up once the pipe is full; the window is not.
        const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(reader >= 0);
        QVERIFY(window->StartRecordingTo(fifo));
        for (int i = 0; i < 200; ++i)
            window->AddLine(QString(2000, QLatin1Char('x')));
        QElapsedTimer clock;
        clock.start();
        window->StopRecording();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        // The reader goes: the writer left alone fails and ends, and the program goes on.
        ::close(reader);
        QTRY_VERIFY(!ThreadNames().contains(QStringLiteral("qn-recorder")));
        QCOMPARE(prompts.MessageTexts().size(), 1);
    }

    void textDisplayDecodesInTheChosenEncoding_data()
    {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<bool>("controls");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("shift-jis default splits at CR LF")
            << 0 << false << QByteArray("\x83\x65\x83\x58\x83\x67\r\nA") << QStringList{"R テスト", "A"};
        QTest::newRow("utf-8 with a bad byte") << 1 << false << QByteArray("\xe3\x81\x82\xff!")
                                               << QStringList{QStringLiteral("R あ\uFFFD!")};
        QTest::newRow("latin-1") << 2 << false << QByteArray("caf\xe9") << QStringList{"R café"};
        QTest::newRow("control marks keep one line") << 0 << true << QByteArray("OK\r\n\0X", 6)
                                                     << QStringList{QStringLiteral("R OK<CR><LF><NUL>X")};
    }

    void textDisplayDecodesInTheChosenEncoding()
    {
        QFETCH(int, encoding);
        QFETCH(bool, controls);
        QFETCH(QByteArray, data);
        QFETCH(QStringList, lines);
        TempConfigHome home;
        auto window = MakeWindow(KIND_HISTORY);
        window->SetEncoding(CTextDecoding::Encoding(encoding));
        window->SetControlMarks(controls);
        qobject_cast<QCheckBox *>(window->GetDlgItem(CMessageWnd::IDC_TEXT_DISPLAY))->setChecked(true);
        Add(*window, "R ", data);
        QCOMPARE(WithoutStamps(window->Lines()), lines);
        // Hex still finds the bytes shown as text.
        window->ShowFindBar();
        window->FindBar()->ModeBox()->setCurrentIndex(1);
        window->FindBar()->Edit()->setText(QString::fromLatin1(data.right(1).toHex()));
        QCOMPARE(window->TextArea()->MatchTotal(), qint64(1));
    }

    void findBarAndFilterAreDrawn()
    {
        TempConfigHome home;
        auto window = MakeWindow(KIND_HISTORY);
        window->setWindowTitle(QStringLiteral("送受信履歴"));
        window->resize(760, 300);
        window->show();
        window->SetMilliseconds(true);
        window->SetResponseTime(true);
        for (int i = 0; i < 12; ++i) {
            Add(*window, "S ", QByteArray("\x02") + char(0x30 + i) + "\x03");
            Add(*window, "R ", i % 3 ? QByteArray("\x06\x0d\x0a") : QByteArray("\x15\x31\x0d\x0a\x0d\x0a"));
        }
        window->ShowFindBar();
        window->FindBar()->ModeBox()->setCurrentIndex(1);
        window->FindBar()->Edit()->setText(QStringLiteral("0D0A"));
        window->FindBar()->MatchingOnlyBox()->setChecked(true);
        window->FindBar()->DirectionBox()->setCurrentIndex(1);
        window->TextArea()->Flush();
        const QImage image = window->grab().toImage();
        // The matches are marked in the text area.
        int marked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                marked += image.pixelColor(x, y) == QColor(255, 224, 64);
        }
        QVERIFY(marked > 100);
        QCOMPARE(window->TextArea()->RowCount(), 12);
        QVERIFY(window->FindBar()->CountText().endsWith(QStringLiteral(" / 16")));
        const QString folder = qEnvironmentVariable("QN_SCREENSHOT_DIR");
        if (!folder.isEmpty())
            QVERIFY(image.save(folder + QStringLiteral("/history-find-filter.png")));
    }

    void checksumCheckMarksTheBadTelegramAndFindsIt()
    {
        TempConfigHome home;
        auto window = ActiveHistory();
        QVERIFY(window);
        QString error;
        const QString rtu = QStringLiteral("CRC-16/MODBUS:le");
        QVERIFY(window->SetChecksumCheck(rtu, &error));
        // 100 Modbus RTU answers with their CRC; the data of one corrupted after it was computed.
        const std::unique_ptr<CChecksumRule> rule = CChecksumRule::Parse(rtu, &error);
        const int bad = 37;
        QByteArray expected;
        for (int i = 0; i < 100; ++i) {
            const QByteArray request = QByteArray::fromHex("0103000000") + char(i);
            QByteArray frame = rule->Apply(request);
            if (i == bad) {
                frame[3] = char(0xFF);
                expected = rule->Value(frame.chopped(2)).toHex().toUpper();
            }
            window->AddTelegramLines({u"R "}, reinterpret_cast<const unsigned char *>(frame.constData()),
                                     int(frame.size()));
        }
        Add(*window, "S ", "\x01\x03\x00\x00\x00\x0A\x00\x00");  // sent: never judged
        CLineView *view = window->TextArea();
        view->Flush();
        for (int row = 0; row < view->RowCount(); ++row)
            QCOMPARE(view->VerdictOfRow(row) == CChecksumCheck::Bad, row == bad);

        QTest::keyClick(window.get(), Qt::Key_F4);
        QVERIFY(!window->FindBar()->isHidden());
        QCOMPARE(window->FindBar()->CountText(), QStringLiteral("ﾁｪｯｸｻﾑ異常 38行目"));
        QCOMPARE(view->SelectedText(), window->LineText(bad));
        QTest::keyClick(window.get(), Qt::Key_F4);
        QCOMPARE(window->FindBar()->CountText(), QStringLiteral("末尾まで異常なし"));

        // The bad line is drawn on its band (beyond its text), its neighbour is not.
        view->Flush();
        const QImage image = view->viewport()->grab().toImage();
        const QPoint at = view->PointOf(CLineView::Position{bad, 0});
        QCOMPARE(image.pixelColor(image.width() - 3, at.y()), QColor(255, 176, 176));
        QVERIFY(image.pixelColor(image.width() - 3, at.y() - view->LineHeight()) != QColor(255, 176, 176));
        QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view->viewport(), &help);
        QTRY_VERIFY2(QToolTip::text().contains(QString::fromLatin1(expected)), qPrintable(QToolTip::text()));

        // Kept for the next window; off, nothing is judged.
        QCOMPARE(MakeWindow(KIND_HISTORY)->ChecksumRule(), rtu);
        window->StopChecksumCheck();
        QCOMPARE(view->VerdictOfRow(bad), CChecksumCheck::NotJudged);
        QVERIFY(MakeWindow(KIND_HISTORY)->ChecksumRule().isEmpty());
    }

    void choicesAreRememberedInTheirOwnSection()
    {
        TempConfigHome home;
        {
            auto fresh = MakeWindow(KIND_HISTORY);
            QVERIFY(!fresh->Milliseconds() && !fresh->ResponseTime() && !fresh->ControlMarks() && !fresh->SpacedHex());
            QCOMPARE(fresh->Encoding(), CTextDecoding::ShiftJis);
            fresh->SetSpacedHex(true);
            fresh->SetMilliseconds(true);
            fresh->SetResponseTime(true);
            fresh->SetEncoding(CTextDecoding::Utf8);
            fresh->SetControlMarks(true);
        }
        auto history = MakeWindow(KIND_HISTORY);
        auto log = MakeWindow(KIND_LOG);
        QVERIFY(history->Milliseconds() && history->ResponseTime() && history->ControlMarks() && history->SpacedHex());
        QCOMPARE(history->Encoding(), CTextDecoding::Utf8);
        QVERIFY(!log->Milliseconds());
        log->AddLine(QStringLiteral("x"));
        history->AddLine(QStringLiteral("x"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d  x$"))
                    .match(history->Lines().first()).hasMatch());
        QCOMPARE(log->Lines().first().size(), 19 + 1);
        const QByteArray profile = FileText(home.FilePath(QStringLiteral("Quillnet/Quillnet.ini")));
        QVERIFY(profile.contains("[Message windows]"));
        QVERIFY(profile.contains("Encoding=UTF-8"));
    }
};

QTEST_MAIN(TestMessageTools)
#include "tst_messagetools.moc"
