// History and Log windows: creation, line formats, the three check boxes, trimming, closing, layout.
#include "display/ui/clineview.h"
#include "display/ui/cmessagewnd.h"
#include "platform/cmsgwnd.h"
#include "platform/ui/uifonts.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>

#include <memory>
#include <tuple>

namespace {

// Stands in for the view: records the messages the window posts to it.
class ViewStandIn : public CMsgWnd<QObject>
{
public:
    QList<std::tuple<UINT, WPARAM, LPARAM>> messages;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        messages.append({message, wParam, lParam});
        return 0;
    }
};

// A window as the view sets it up: created, enabled, titled.
std::unique_ptr<CMessageWnd> MakeWindow(QObject *view, int kind)
{
    auto window = std::make_unique<CMessageWnd>();
    window->Create(view, kind);
    window->setEnabled(true);
    window->setWindowTitle(kind == KIND_LOG ? QStringLiteral("ﾛｸﾞ") : QStringLiteral("送受信履歴"));
    return window;
}

QCheckBox *Box(const CMessageWnd &window, int id)
{
    return qobject_cast<QCheckBox *>(window.GetDlgItem(id));
}

const unsigned char *Bytes(const QByteArray &data)
{
    return reinterpret_cast<const unsigned char *>(data.constData());
}

const QRegularExpression kStamp(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d  "));

// The lines of the window with the stamp of the first one checked and removed.
QStringList WithoutStamp(const CMessageWnd &window)
{
    QStringList lines = window.Lines();
    if (!lines.isEmpty() && kStamp.match(lines.first()).hasMatch())
        lines.first().remove(0, 19);
    return lines;
}

void ShowActive(CMessageWnd &window)
{
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

}  // namespace

class TestMessageWnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        InstallFontSubstitutions();
        qputenv("TZ", "UTC");
        tzset();
    }

    void createBuildsAHiddenDisabledWindowOnce()
    {
        ViewStandIn view;
        CMessageWnd window;
        QCOMPARE(window.Create(&view, KIND_LOG), TRUE);
        QVERIFY(window.isHidden());
        QVERIFY(!window.isEnabled());
        QCOMPARE(window.Create(&view, KIND_HISTORY), FALSE);
        QCOMPARE(window.Kind(), KIND_LOG);
        // Lines are recorded while hidden.
        window.AddLine(QStringLiteral("hidden"));
        QCOMPARE(WithoutStamp(window), QStringList{QStringLiteral("hidden")});
    }

    void linesCarryStampAndBody_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("asText");
        QTest::addColumn<QString>("prefix");  // null: AddLine with the data as its text
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("hex");
        const QByteArray a0b("A\0B", 3);
        QTest::newRow("log line") << int(KIND_LOG) << false << QString() << QByteArray("接続 [CQnView]")
                                  << QStringList{"接続 [CQnView]"} << QByteArray();
        QTest::newRow("log text with a line break")
            << int(KIND_LOG) << false << QString() << QByteArray("a\r\nb") << QStringList{"a", "b"} << QByteArray();
        QTest::newRow("sent hex") << int(KIND_HISTORY) << false << QStringLiteral("S ") << QByteArray("\x01\x02\xff")
                                  << QStringList{"S 0102FF"} << QByteArray("0102FF");
        QTest::newRow("zero byte in hex") << int(KIND_HISTORY) << false << QStringLiteral("R ") << a0b
                                          << QStringList{"R 410042"} << QByteArray("410042");
        QTest::newRow("zero byte ends the text") << int(KIND_HISTORY) << true << QStringLiteral("R ") << a0b
                                                 << QStringList{"R A"} << QByteArray("410042");
        QTest::newRow("shift-jis text") << int(KIND_HISTORY) << true << QStringLiteral("R ")
                                        << QByteArray("\x83\x65\x83\x58\x83\x67\xb1")
                                        << QStringList{"R テストｱ"} << QByteArray("836583588367B1");
        QTest::newRow("text with line breaks") << int(KIND_HISTORY) << true << QStringLiteral("S ")
                                               << QByteArray("A\r\nB\nC\r") << QStringList{"S A", "B", "C", ""}
                                               << QByteArray("410D0A420A430D");
        QTest::newRow("log window ignores the text box") << int(KIND_LOG) << true << QStringLiteral("S ") << a0b
                                                         << QStringList{"S 410042"} << QByteArray("410042");
        QTest::newRow("empty telegram") << int(KIND_HISTORY) << false << QStringLiteral("S ") << QByteArray()
                                        << QStringList{"S "} << QByteArray();
    }
    void linesCarryStampAndBody()
    {
        QFETCH(int, kind);
        QFETCH(bool, asText);
        QFETCH(QString, prefix);
        QFETCH(QByteArray, data);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, hex);
        ViewStandIn view;
        auto window = MakeWindow(&view, kind);
        Box(*window, CMessageWnd::IDC_TEXT_DISPLAY)->setChecked(asText);
        if (prefix.isNull())
            window->AddLine(QString::fromUtf8(data));
        else
            QCOMPARE(window->AddTelegram(prefix, Bytes(data), int(data.size())), hex);
        QVERIFY2(kStamp.match(window->LineText(0)).hasMatch(), qPrintable(window->LineText(0)));
        QCOMPARE(WithoutStamp(*window), lines);
    }

    void dontDisplayShowsNothingButStillConverts()
    {
        ViewStandIn view;
        auto window = MakeWindow(&view, KIND_HISTORY);
        Box(*window, CMessageWnd::IDC_NO_DISPLAY)->setChecked(true);
        QCOMPARE(window->AddTelegram(QStringLiteral("R "), Bytes("\xab\xcd"), 2), QByteArray("ABCD"));
        window->AddLine(QStringLiteral("not shown"));
        QCOMPARE(window->LineCount(), 0);
        Box(*window, CMessageWnd::IDC_NO_DISPLAY)->setChecked(false);
        window->AddLine(QStringLiteral("shown"));
        QCOMPARE(WithoutStamp(*window), QStringList{QStringLiteral("shown")});
    }

    void hexIsLimitedToTheLargestRead()
    {
        ViewStandIn view;
        auto window = MakeWindow(&view, KIND_HISTORY);
        const QByteArray data(QN_MAX_RECEIVE + 1, '\x5a');
        const QByteArray hex = window->AddTelegram(QStringLiteral("R "), Bytes(data), int(data.size()));
        QCOMPARE(hex.size(), 2048000);
        QCOMPARE(window->LineText(0).size(), 19 + 2 + 2048000);
        QVERIFY(window->LineText(0).endsWith(QStringLiteral("5A5A")));
    }

    void entry1001RemovesTheOldest()
    {
        ViewStandIn view;
        auto window = MakeWindow(&view, KIND_LOG);
        for (int i = 1; i <= 1001; ++i)
            window->AddLine(QString::number(i));
        QCOMPARE(window->LineCount(), 1000);
        QVERIFY(window->LineText(0).endsWith(QStringLiteral("  2")));
        QVERIFY(window->LineText(999).endsWith(QStringLiteral("  1001")));
    }

    void textDisplayBoxOnlyInHistory_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("shown");
        QTest::newRow("log") << int(KIND_LOG) << false;
        QTest::newRow("history") << int(KIND_HISTORY) << true;
    }
    void textDisplayBoxOnlyInHistory()
    {
        QFETCH(int, kind);
        QFETCH(bool, shown);
        ViewStandIn view;
        auto window = MakeWindow(&view, kind);
        QCOMPARE(window->GetDlgItem(CMessageWnd::IDC_TEXT_DISPLAY)->isVisibleTo(window.get()), shown);
        for (int id : {CMessageWnd::IDC_CLEAR, CMessageWnd::IDC_NO_SCROLL, CMessageWnd::IDC_NO_DISPLAY})
            QVERIFY(window->GetDlgItem(id)->isVisibleTo(window.get()));
    }

    void closingAsksTheViewAndKeepsTheText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("key");  // 0: the close box
        QTest::addColumn<bool>("asks");
        QTest::newRow("log close box") << int(KIND_LOG) << 0 << true;
        QTest::newRow("history close box") << int(KIND_HISTORY) << 0 << true;
        QTest::newRow("history escape") << int(KIND_HISTORY) << int(Qt::Key_Escape) << true;
        QTest::newRow("log return") << int(KIND_LOG) << int(Qt::Key_Return) << false;
        QTest::newRow("history enter") << int(KIND_HISTORY) << int(Qt::Key_Enter) << false;
    }
    void closingAsksTheViewAndKeepsTheText()
    {
        QFETCH(int, kind);
        QFETCH(int, key);
        QFETCH(bool, asks);
        ViewStandIn view;
        auto window = MakeWindow(&view, kind);
        window->AddLine(QStringLiteral("kept"));
        ShowActive(*window);
        window->TextArea()->setFocus();
        if (key == 0) {
            QCloseEvent close;
            QSpontaneKeyEvent::setSpontaneous(&close);
            QApplication::instance()->notify(window.get(), &close);  // keeps the event spontaneous
            QVERIFY(!close.isAccepted());
        } else
            QTest::keyClick(window->TextArea(), Qt::Key(key));
        DispatchPostedMessages();
        if (asks)
            QCOMPARE(view.messages, (QList<std::tuple<UINT, WPARAM, LPARAM>>{{WM_CHILD_CLOSE, WPARAM(kind), 0}}));
        else
            QVERIFY(view.messages.isEmpty());
        QVERIFY(window->isVisible());
        QCOMPARE(WithoutStamp(*window), QStringList{QStringLiteral("kept")});
    }

    // Control positions are laid out for 96 pixels per inch and scale with the screen; the strip above
    // the text area stays 20 pixels. The test runs once at 96 and once at 120 pixels per inch.
    void controlsFollowTheScreenScale_data()
    {
        QTest::addColumn<int>("dpi");
        QTest::addColumn<QRect>("clear");
        QTest::addColumn<QRect>("noScroll");
        QTest::addColumn<QRect>("noDisplay");
        QTest::addColumn<QRect>("textDisplay");
        QTest::newRow("96") << 96 << QRect(0, 0, 80, 20) << QRect(100, 0, 100, 20) << QRect(200, 0, 100, 20)
                            << QRect(300, 0, 100, 20);
        QTest::newRow("120") << 120 << QRect(0, 0, 100, 25) << QRect(125, 0, 125, 25) << QRect(250, 0, 125, 25)
                             << QRect(375, 0, 125, 25);
    }
    void controlsFollowTheScreenScale()
    {
        QFETCH(int, dpi);
        QFETCH(QRect, clear);
        QFETCH(QRect, noScroll);
        QFETCH(QRect, noDisplay);
        QFETCH(QRect, textDisplay);
        ViewStandIn view;
        auto window = MakeWindow(&view, KIND_HISTORY);
        if (LogicalDpiX(window.get()) != dpi)
            QSKIP("the screen has another resolution");
        QCOMPARE(window->GetDlgItem(CMessageWnd::IDC_CLEAR)->geometry(), clear);
        QCOMPARE(window->GetDlgItem(CMessageWnd::IDC_NO_SCROLL)->geometry(), noScroll);
        QCOMPARE(window->GetDlgItem(CMessageWnd::IDC_NO_DISPLAY)->geometry(), noDisplay);
        QCOMPARE(window->GetDlgItem(CMessageWnd::IDC_TEXT_DISPLAY)->geometry(), textDisplay);
        QCOMPARE(window->GetDlgItem(CMessageWnd::IDC_CLEAR)->font().family(), QString::fromUtf8(kFaceMsGothic));
        window->resize(640, 300);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->TextArea()->geometry(), QRect(0, 20, 640, 280));
    }

    void timeStampReadsMonthDayYearTime_data()
    {
        QTest::addColumn<qint64>("when");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("2006") << qint64(1165482303) << QStringLiteral("12/07/06 09:05:03  ");
        QTest::newRow("2031") << qint64(1925164798) << QStringLiteral("01/02/31 23:59:58  ");
        QTest::newRow("epoch") << qint64(0) << QStringLiteral("01/01/70 00:00:00  ");
    }
    void timeStampReadsMonthDayYearTime()
    {
        QFETCH(qint64, when);
        QFETCH(QString, stamp);
        QCOMPARE(CMessageWnd::TimeStamp(static_cast<std::time_t>(when)), stamp);
    }

    void dontScrollKeepsTheViewAndTakesTheFocus_data()
    {
        QTest::addColumn<bool>("dontScroll");
        QTest::addColumn<int>("linesBefore");
        QTest::addColumn<bool>("follows");
        QTest::addColumn<bool>("focusOnBox");
        QTest::newRow("scrolling, room left") << false << 200 << true << false;
        QTest::newRow("scrolling, at the limit") << false << 1000 << true << true;
        QTest::newRow("not scrolling") << true << 200 << false << true;
        QTest::newRow("not scrolling, at the limit") << true << 1000 << false << true;
    }
    void dontScrollKeepsTheViewAndTakesTheFocus()
    {
        QFETCH(bool, dontScroll);
        QFETCH(int, linesBefore);
        QFETCH(bool, follows);
        QFETCH(bool, focusOnBox);
        ViewStandIn view;
        auto window = MakeWindow(&view, KIND_LOG);
        for (int i = 0; i < linesBefore; ++i)
            window->AddLine(QStringLiteral("line %1").arg(i));
        ShowActive(*window);
        QScrollBar *vertical = window->TextArea()->verticalScrollBar();
        QTRY_VERIFY(vertical->maximum() > 0 && vertical->value() == vertical->maximum());
        vertical->setValue(100);
        const QString top = window->LineText(window->TextArea()->PositionAt(QPoint(2, 1)).line);
        window->TextArea()->setFocus();
        QVERIFY(window->TextArea()->hasFocus());
        Box(*window, CMessageWnd::IDC_NO_SCROLL)->setChecked(dontScroll);
        for (int i = 0; i < 30; ++i)
            window->AddLine(QStringLiteral("more %1").arg(i));
        window->TextArea()->Flush();
        QCOMPARE(vertical->value() == vertical->maximum(), follows);
        if (!follows)  // the same lines stay in view
            QCOMPARE(window->LineText(window->TextArea()->PositionAt(QPoint(2, 1)).line), top);
        QCOMPARE(QApplication::focusWidget() == window->GetDlgItem(CMessageWnd::IDC_NO_SCROLL), focusOnBox);
    }

    void selectedLinesAreCopiedEvenWithTheFocusOnABox()
    {
        ViewStandIn view;
        auto window = MakeWindow(&view, KIND_HISTORY);
        for (int i = 0; i < 3; ++i)
            window->AddTelegram(QStringLiteral("R "), Bytes("\x01\x02"), 2);
        ShowActive(*window);
        CLineView *text = window->TextArea();
        text->Flush();
        text->verticalScrollBar()->setValue(0);
        QTest::mousePress(text->viewport(), Qt::LeftButton, {}, text->PointOf({0, 0}));
        QTest::mouseMove(text->viewport(), text->PointOf({2, 0}));
        QTest::mouseRelease(text->viewport(), Qt::LeftButton, {}, text->PointOf({2, 0}));
        window->GetDlgItem(CMessageWnd::IDC_NO_SCROLL)->setFocus();
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(window->GetDlgItem(CMessageWnd::IDC_NO_SCROLL), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), window->LineText(0) + u'\n' + window->LineText(1) + u'\n');
        QTest::keyClick(text, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), window->Lines().join(u'\n') + u'\n');
    }

    void longLineIsShownAndScrollsSideways()
    {
        ViewStandIn view;
        auto window = MakeWindow(&view, KIND_HISTORY);
        QByteArray data(QN_MAX_RECEIVE, '\0');
        for (int i = 0; i < data.size(); ++i)
            data[i] = char(i * 7);
        window->AddLine(QStringLiteral("short"));
        const QByteArray hex = window->AddTelegram(QStringLiteral("R "), Bytes(data), int(data.size()));
        window->resize(500, 300);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        CLineView *text = window->TextArea();
        text->Flush();
        QCOMPARE(window->LineText(1), window->LineText(1).left(21) + QString::fromLatin1(hex));
        QScrollBar *horizontal = text->horizontalScrollBar();
        QVERIFY(horizontal->maximum() > 2048000);
        horizontal->setValue(horizontal->maximum());
        // At the far right the last characters of the hex line are under the pointer.
        const int row = text->PointOf({1, 0}).y();
        const CLineView::Position end = text->PositionAt(QPoint(text->viewport()->width() - 6, row));
        QCOMPARE(end.line, 1);
        QVERIFY2(window->LineText(1).size() - end.column <= 2, qPrintable(QString::number(end.column)));
        // And they are painted: the line's band holds dark pixels, the short line's band does not.
        const QImage image = text->viewport()->grab().toImage();
        auto darkPixels = [&image](int y0, int y1) {
            int dark = 0;
            for (int y = y0; y < y1; ++y)
                for (int x = 0; x < image.width(); ++x)
                    dark += qGray(image.pixel(x, y)) < 128;
            return dark;
        };
        const int height = text->LineHeight();
        QVERIFY(darkPixels(row - height / 2, row + height / 2) > 50);
        QCOMPARE(darkPixels(text->PointOf({0, 0}).y() - height / 2, text->PointOf({0, 0}).y() + height / 2), 0);
    }

    void budgetTrimsAndClearFreesTheText()
    {
        ViewStandIn view;
        auto window = MakeWindow(&view, KIND_HISTORY);
        const qsizetype budget = 5 * 1024 * 1024;
        window->SetTextBudget(budget);
        const QByteArray data(QN_MAX_RECEIVE, '\x11');
        window->AddLine(QStringLiteral("first"));
        for (int i = 0; i < 4; ++i) {
            window->AddTelegram(QStringLiteral("R "), Bytes(data), int(data.size()));
            QVERIFY(window->StoredBytes() <= budget);
        }
        QCOMPARE(window->LineCount(), 2);
        QVERIFY(window->LineText(1).endsWith(QStringLiteral("1111")));
        window->AddLine(QStringLiteral("small"));
        QCOMPARE(window->LineCount(), 3);
        qobject_cast<QPushButton *>(window->GetDlgItem(CMessageWnd::IDC_CLEAR))->click();
        QCOMPARE(window->LineCount(), 0);
        QCOMPARE(window->StoredBytes(), 0);
        window->AddLine(QStringLiteral("after"));
        QCOMPARE(WithoutStamp(*window), QStringList{QStringLiteral("after")});
    }

    // A hidden History keeps the bytes and writes the hex digits when the lines are first looked at;
    // the lines, their count and the budget come out as in a shown one, also with buffers that trimmed
    // lines left being used again.
    void hiddenHistoryMatchesShownHistory_data()
    {
        QTest::addColumn<QList<int>>("sizes");
        QTest::addColumn<qsizetype>("budget");
        QTest::newRow("short") << QList<int>{0, 1, 31, 32, 33, 1000} << CLineStore::kDefaultBudget;
        QTest::newRow("large, trimmed") << QList<int>{200000, 180000, 200000, 230000, 200000, 199999, 64} << qsizetype(1600000);
    }
    void hiddenHistoryMatchesShownHistory()
    {
        QFETCH(QList<int>, sizes);
        QFETCH(qsizetype, budget);
        ViewStandIn view;
        auto shown = MakeWindow(&view, KIND_HISTORY);
        auto hidden = MakeWindow(&view, KIND_HISTORY);
        shown->show();
        for (CMessageWnd *window : {shown.get(), hidden.get()})
            window->SetTextBudget(budget);
        for (int i = 0; i < sizes.size(); ++i) {
            QByteArray data(sizes[i], '\0');
            for (int k = 0; k < data.size(); ++k)
                data[k] = char(i * 37 + k);
            for (CMessageWnd *window : {shown.get(), hidden.get()}) {
                window->AddTelegramLines({u"R ", u"S "}, Bytes(data), int(data.size()));
                window->AddTelegramLines({u"S "}, Bytes(data), int(data.size()));
            }
            QVERIFY(shown->LineText(shown->LineCount() - 1).endsWith(QString::fromLatin1(data.toHex().toUpper())));
            QCOMPARE(hidden->StoredBytes(), shown->StoredBytes());
        }
        const auto withoutStamps = [](QStringList lines) {
            for (QString &line : lines)
                line.remove(kStamp);
            return lines;
        };
        QCOMPARE(hidden->LineCount(), shown->LineCount());
        QCOMPARE(withoutStamps(hidden->Lines()), withoutStamps(shown->Lines()));
        QCOMPARE(hidden->StoredBytes(), shown->StoredBytes());
    }
};

QTEST_MAIN(TestMessageWnd)
#include "tst_messagewnd.moc"
