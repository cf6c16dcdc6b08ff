// The Command Send window: telegrams from hex and text input, the send event, files, closing.
#include "display/ui/ccommandsenddlg.h"
#include "platform/cmsgwnd.h"
#include "platform/cp932.h"
#include "platform/ui/uifonts.h"
#include "support/scriptedprompts.h"
#include "support/sessionprobe.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>


namespace {

constexpr UINT kSentinel = WM_USER + 999;

struct Message
{
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Stands in for the view: records every message it is sent or posted.
class RecordingView : public CMsgWnd<QObject>
{
public:
    QList<Message> messages;

    // Posts a marker and waits for it: every message posted before has then arrived.
    bool Drain()
    {
        PostMessage(this, kSentinel, 0, 0);
        if (!QTest::qWaitFor([this] { return !messages.isEmpty() && messages.back().message == kSentinel; }, 5000))
            return false;
        messages.removeLast();
        return true;
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        messages.append({message, wParam, lParam});
        return 0;
    }
};

QPushButton *Button(const CCommandSendDlg &dlg, int id)
{
    return qobject_cast<QPushButton *>(dlg.GetDlgItem(id));
}

QCheckBox *SendTextBox(const CCommandSendDlg &dlg)
{
    return qobject_cast<QCheckBox *>(dlg.GetDlgItem(CCommandSendDlg::IDC_SEND_TEXT));
}

// Opens the window for the view with the given input and mode.
void Open(CCommandSendDlg &dlg, RecordingView &view, const QString &input, bool textMode = false)
{
    dlg.Create(&view, KIND_COMMAND_SEND);
    SendTextBox(dlg)->setChecked(textMode);
    dlg.Input()->setPlainText(input);
}

void Press(const CCommandSendDlg &dlg, int id)
{
    Button(dlg, id)->click();
}

QStringList InputLines(const CCommandSendDlg &dlg)
{
    QStringList lines;
    QString line;
    for (int i = 0; i < dlg.Input()->GetLineCount(); ++i) {
        dlg.Input()->GetLineText(i, line, 1 << 24);
        lines << line;
    }
    return lines;
}

QByteArray Telegram(const CCommandSendDlg &dlg)
{
    int length = 0;
    const unsigned char *data = dlg.Telegram(&length);
    return QByteArray(reinterpret_cast<const char *>(data), length);
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

template <class Control>
Control *Item(const CCommandSendDlg &dlg, int id)
{
    return qobject_cast<Control *>(dlg.GetDlgItem(id));
}

// What the byte line says of a character that is neither a hex digit nor a separator, and of the
// digit of a byte that has only one.
QString NotHex(int line, int column, const char *character)
{
    return QStringLiteral("送信できません: %1 行目 %2 文字目の「%3」は16進数でも区切りでもありません")
        .arg(line)
        .arg(column)
        .arg(QString::fromUtf8(character));
}

QString OddDigits(int line, int column, const char *digit)
{
    return QStringLiteral("送信できません: %1 行目 %2 文字目の「%3」で16進数の桁数が奇数です")
        .arg(line)
        .arg(column)
        .arg(QString::fromLatin1(digit));
}

bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace

class TestCommandSendDlg : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }

    void windowFollowsTemplate()
    {
        CCommandSendDlg dlg;
        RecordingView view;
        QCOMPARE(dlg.Create(&view, KIND_COMMAND_SEND), TRUE);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("ｺﾏﾝﾄﾞ送信"));
        QCOMPARE(dlg.minimumSize(), dlg.maximumSize());  // fixed size
        const struct { int id; const char *caption; } captions[] = {
            {CCommandSendDlg::IDC_SEND, "送信"}, {CCommandSendDlg::IDC_CLEAR, "ｸﾘｱ"},
            {CCommandSendDlg::IDC_WRITE_FILE, "ﾌｧｲﾙ書込み"}, {CCommandSendDlg::IDC_READ_FILE, "ﾌｧｲﾙ読込み"}};
        for (const auto &c : captions)
            QCOMPARE(Button(dlg, c.id)->text(), QString::fromUtf8(c.caption));
        QVERIFY(Button(dlg, CCommandSendDlg::IDC_SEND)->isDefault());
        QCOMPARE(qobject_cast<QLabel *>(dlg.GetDlgItem(CCommandSendDlg::IDC_CAPTION))->text(), QStringLiteral("送信ﾃﾞｰﾀ"));
        QCOMPARE(SendTextBox(dlg)->text(), QStringLiteral("ﾃｷｽﾄで送信"));
        QCOMPARE(dlg.Input()->GetDlgCtrlID(), 1);
        QCOMPARE(dlg.Input()->GetLimitText(), QN_BUFFER_SIZE);
        // The input sits left of the buttons and inside the window.
        QVERIFY(dlg.Input()->geometry().right() < Button(dlg, CCommandSendDlg::IDC_SEND)->geometry().left());
        QVERIFY(dlg.rect().contains(dlg.Input()->geometry()));
        QCOMPARE(dlg.Create(&view, KIND_COMMAND_SEND), FALSE);  // exists already
        dlg.EnableSend(false);
        QVERIFY(!Button(dlg, CCommandSendDlg::IDC_SEND)->isEnabled());
    }

    void sendBuildsTelegram_data()
    {
        QTest::addColumn<bool>("textMode");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("telegram");
        const QString line1500(1500, QLatin1Char('x'));
        QTest::newRow("hex: blanks separate bytes") << false << QStringLiteral("01 03 00 00 00 0A")
                                                    << QByteArray::fromHex("01030000000A");
        QTest::newRow("hex: tabs, commas and 0x too") << false << QStringLiteral("0x01,0x02\t0X0a, ff ,")
                                                      << QByteArray("\x01\x02\x0a\xff", 4);
        QTest::newRow("hex: lines joined") << false << QStringLiteral("0102\n0304") << QByteArray("\x01\x02\x03\x04", 4);
        QTest::newRow("hex: either case") << false << QStringLiteral("0a1B\nfF") << QByteArray("\x0a\x1b\xff", 3);
        QTest::newRow("hex: a byte across a line break") << false << QStringLiteral("1\n2 3\n4") << QByteArray("\x12\x34", 2);
        QTest::newRow("hex: 1500-char line gives 1024 digits") << false << QString(1500, QLatin1Char('1'))
                                                                << QByteArray(512, '\x11');
        QTest::newRow("text: CR LF between lines only") << true << QStringLiteral("AB\nC") << QByteArray("AB\r\nC");
        QTest::newRow("text: empty last line ends with CR LF") << true << QStringLiteral("AB\n") << QByteArray("AB\r\n");
        QTest::newRow("text: line breaks only") << true << QStringLiteral("\n") << QByteArray("\r\n");
        QTest::newRow("text: 1500-char line gives 1024") << true << line1500 + QStringLiteral("\ny")
                                                         << QByteArray(1024, 'x') + "\r\ny";
        QTest::newRow("text: code page 932") << true << QStringLiteral("送信ﾃﾞｰﾀ") << ToCp932(u"送信ﾃﾞｰﾀ");
        QTest::newRow("text: lower case kept") << true << QStringLiteral("abc") << QByteArray("abc");
    }
    void sendBuildsTelegram()
    {
        QFETCH(bool, textMode);
        QFETCH(QString, input);
        QFETCH(QByteArray, telegram);
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, input, textMode);
        QCOMPARE(SessionProbe::SendsText(dlg), textMode ? TRUE : FALSE);  // the box drives the mode
        ScriptedPrompts prompts;
        Press(dlg, CCommandSendDlg::IDC_SEND);
        QCOMPARE(Telegram(dlg), telegram);
        // The line under the input told the same length before the press.
        QTRY_COMPARE(dlg.ByteLine()->text(), QStringLiteral("%1 ﾊﾞｲﾄ").arg(telegram.size()));
        QVERIFY(view.Drain());
        QCOMPARE(view.messages.size(), 1);
        QCOMPARE(view.messages[0].message, WM_SESSION_EVENT);
        QCOMPARE(view.messages[0].wParam, WPARAM(EV_SEND));
        QCOMPARE(view.messages[0].lParam, LPARAM(0));
        QVERIFY(prompts.calls.isEmpty());
    }

    void lineEndFollowsATextTelegramOnly_data()
    {
        QTest::addColumn<int>("lineEnd");  // CLineEnd::Kind, as the 行末 list orders them
        QTest::addColumn<bool>("textMode");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("telegram");
        QTest::newRow("none") << int(CLineEnd::None) << true << QStringLiteral("AT") << QByteArray("AT");
        QTest::newRow("CR") << int(CLineEnd::Cr) << true << QStringLiteral("AT") << QByteArray("AT\r");
        QTest::newRow("LF after two lines") << int(CLineEnd::Lf) << true << QStringLiteral("A\nB") << QByteArray("A\r\nB\n");
        QTest::newRow("CR LF") << int(CLineEnd::CrLf) << true << QStringLiteral("AT") << QByteArray("AT\r\n");
        QTest::newRow("an empty line sends the line end") << int(CLineEnd::Cr) << true << QString() << QByteArray("\r");
        QTest::newRow("hex as typed") << int(CLineEnd::CrLf) << false << QStringLiteral("01 02") << QByteArray("\x01\x02");
    }
    void lineEndFollowsATextTelegramOnly()
    {
        QFETCH(int, lineEnd);
        QFETCH(bool, textMode);
        QFETCH(QString, input);
        QFETCH(QByteArray, telegram);
        RecordingView view;
        CCommandSendDlg dlg;
        QSignalSpy changed(&dlg, &CCommandSendDlg::LineEndChanged);
        Open(dlg, view, input, textMode);
        Item<QComboBox>(dlg, CCommandSendDlg::IDC_LINE_END)->setCurrentIndex(lineEnd);
        QCOMPARE(changed.size(), lineEnd == CLineEnd::None ? 0 : 1);
        QTRY_COMPARE(dlg.ByteLine()->text(), QStringLiteral("%1 ﾊﾞｲﾄ").arg(telegram.size()));
        Press(dlg, CCommandSendDlg::IDC_SEND);
        QVERIFY(view.Drain());
        QCOMPARE(view.messages.size(), 1);
        QCOMPARE(Telegram(dlg), telegram);
        // The choice outlives the window, as the other tools' do.
        dlg.DestroyWindow();
        QCOMPARE(int(dlg.LineEnd()), lineEnd);
    }

    void checksumGoesIntoTheTelegram_data()
    {
        QTest::addColumn<bool>("textMode");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QByteArray>("telegram");  // empty: refused
        QTest::addColumn<QString>("byteLine");
        QTest::newRow("Modbus RTU") << false << QStringLiteral("01030000000A") << QStringLiteral("CRC-16/MODBUS:le")
                                    << QByteArray::fromHex("01030000000AC5CD") << QStringLiteral("8 ﾊﾞｲﾄ  ﾁｪｯｸｻﾑ C5 CD");
        QTest::newRow("Modbus ASCII") << true << QStringLiteral(":01030000000A\n") << QStringLiteral("LRC/ASCII:from=1,before=0D0A")
                                      << QByteArray(":01030000000AF2\r\n") << QStringLiteral("17 ﾊﾞｲﾄ  ﾁｪｯｸｻﾑ F2");
        QTest::newRow("unknown name") << false << QStringLiteral("01") << QStringLiteral("CRC-17") << QByteArray()
                                      << QStringLiteral("1 ﾊﾞｲﾄ");
    }
    void checksumGoesIntoTheTelegram()
    {
        QFETCH(bool, textMode);
        QFETCH(QString, input);
        QFETCH(QString, rule);
        QFETCH(QByteArray, telegram);
        QFETCH(QString, byteLine);
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, input, textMode);
        Item<QComboBox>(dlg, CCommandSendDlg::IDC_CHECKSUM_RULE)->setCurrentText(rule);
        Item<QCheckBox>(dlg, CCommandSendDlg::IDC_CHECKSUM_ON)->setChecked(true);
        QTRY_COMPARE(dlg.ByteLine()->text(), byteLine);
        QCOMPARE(dlg.NonHexLine()->text().contains(QStringLiteral("不明なﾁｪｯｸｻﾑ")), telegram.isEmpty());
        ScriptedPrompts prompts;
        Press(dlg, CCommandSendDlg::IDC_SEND);
        QVERIFY(view.Drain());
        QCOMPARE(prompts.calls.size(), telegram.isEmpty() ? 1 : 0);
        QCOMPARE(view.messages.size(), telegram.isEmpty() ? 0 : 1);
        if (!telegram.isEmpty())
            QCOMPARE(Telegram(dlg), telegram);
    }

    void byteLineSaysWhatIsSentOrWhyNot_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("textNotes");  // with 文字列送信 on
        const QString longLine = QStringLiteral("2 行目が 1024 文字を超えています (超えた分は送信しません)");
        QTest::newRow("blanks") << QStringLiteral("01 02 03") << QStringLiteral("3 ﾊﾞｲﾄ") << QString() << QString();
        QTest::newRow("letter past F") << QStringLiteral("0G") << QStringLiteral("0 ﾊﾞｲﾄ") << NotHex(1, 2, "G") << QString();
        QTest::newRow("odd length, all digits") << QStringLiteral("123") << QStringLiteral("0 ﾊﾞｲﾄ") << OddDigits(1, 3, "3")
                                                << QString();
        QTest::newRow("tab and a double-byte character")
            << QStringLiteral("01\t送") << QStringLiteral("0 ﾊﾞｲﾄ") << NotHex(1, 4, "送") << QString();
        QTest::newRow("line over 1024 characters") << QStringLiteral("01\n") + QString(1030, QLatin1Char('A'))
                                                   << QStringLiteral("513 ﾊﾞｲﾄ") << longLine << longLine;
        QTest::newRow("empty") << QString() << QStringLiteral("0 ﾊﾞｲﾄ") << QString() << QString();
    }
    void byteLineSaysWhatIsSentOrWhyNot()
    {
        QFETCH(QString, input);
        QFETCH(QString, bytes);
        QFETCH(QString, notes);
        QFETCH(QString, textNotes);
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, QStringLiteral("FF"));
        QTRY_COMPARE(dlg.ByteLine()->text(), QStringLiteral("1 ﾊﾞｲﾄ"));
        dlg.Input()->setPlainText(input);
        QTRY_COMPARE(dlg.ByteLine()->text(), bytes);
        QTRY_COMPARE(dlg.NonHexLine()->text(), notes);
        QCOMPARE(Button(dlg, CCommandSendDlg::IDC_SEND)->isEnabled(), !notes.startsWith(QStringLiteral("送信できません")));
        QCOMPARE(dlg.NonHexLine()->palette().color(QPalette::WindowText), QColor(Qt::red));
        QCOMPARE(dlg.ByteLine()->accessibleName(), QStringLiteral("送信ﾊﾞｲﾄ数"));
        // Text mode counts the text's bytes; only a long line is worth a word.
        SendTextBox(dlg)->setChecked(true);
        QCOMPARE(dlg.NonHexLine()->text(), textNotes);
        QVERIFY(Button(dlg, CCommandSendDlg::IDC_SEND)->isEnabled());
        if (!input.contains(QLatin1Char('\n')))
            QCOMPARE(dlg.ByteLine()->text(), QStringLiteral("%1 ﾊﾞｲﾄ").arg(ToCp932(input).size()));
        if (const QString folder = qEnvironmentVariable("QN_SCREENSHOTS"); !folder.isEmpty() && input.startsWith(u"01 ")) {
            SendTextBox(dlg)->setChecked(false);
            dlg.grab().save(folder + QStringLiteral("/commandsend-nonhex.png"));
        }
    }

    void hexTextWithAFaultIsNotSent_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("a letter past F") << QStringLiteral("01 0G 3") << NotHex(1, 5, "G");
        QTest::newRow("a last byte of one digit") << QStringLiteral("01 03 0") << OddDigits(1, 7, "0");
        QTest::newRow("one digit between blanks") << QStringLiteral("01 2 03") << OddDigits(1, 4, "2");
        QTest::newRow("0x with no byte after it") << QStringLiteral("01 0x") << NotHex(1, 5, "x");
        QTest::newRow("x inside a byte") << QStringLiteral("00x1") << NotHex(1, 3, "x");
        QTest::newRow("on the third line, after an empty one") << QStringLiteral("0102\n\n03 04 ;05") << NotHex(3, 7, ";");
        QTest::newRow("a full-width blank") << QStringLiteral("01\u300002") << NotHex(1, 3, "U+3000");
        QTest::newRow("a character beyond the first plane") << QStringLiteral("01 \U0001F600") << NotHex(1, 4, "\U0001F600");
    }
    void hexTextWithAFaultIsNotSent()
    {
        QFETCH(QString, input);
        QFETCH(QString, refusal);
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, QStringLiteral("AA"));
        Press(dlg, CCommandSendDlg::IDC_SEND);
        dlg.Input()->setPlainText(input);
        // Pressed before the byte line has caught up: nothing goes out, the line says why at once.
        Press(dlg, CCommandSendDlg::IDC_SEND);
        QCOMPARE(dlg.NonHexLine()->text(), refusal);
        QCOMPARE(dlg.ByteLine()->text(), QStringLiteral("0 ﾊﾞｲﾄ"));
        QVERIFY(!Button(dlg, CCommandSendDlg::IDC_SEND)->isEnabled());
        QTest::keyClick(dlg.Input(), Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(view.Drain());
        QCOMPARE(view.messages.size(), 1);  // the first press only
        QCOMPARE(Telegram(dlg), QByteArray("\xaa", 1));
        // Mended, it can be sent; the view's rule still holds.
        dlg.Input()->setPlainText(QStringLiteral("01"));
        QTRY_VERIFY(Button(dlg, CCommandSendDlg::IDC_SEND)->isEnabled());
        dlg.EnableSend(false);
        dlg.Input()->setPlainText(QStringLiteral("02"));
        QTRY_COMPARE(dlg.ByteLine()->text(), QStringLiteral("1 ﾊﾞｲﾄ"));
        QVERIFY(!Button(dlg, CCommandSendDlg::IDC_SEND)->isEnabled());
    }

    void tabMovesTheFocusAndCtrlTabTypesATab()
    {
        RecordingView view;
        CCommandSendDlg dlg;
        dlg.Create(&view, KIND_COMMAND_SEND);
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(dlg.Input()));
        QTest::keyClicks(dlg.Input(), QStringLiteral("01"));
        QTest::keyClick(dlg.Input(), Qt::Key_Tab, Qt::ControlModifier);
        QTest::keyClicks(dlg.Input(), QStringLiteral("02"));
        QCOMPARE(dlg.Input()->toPlainText(), QStringLiteral("01\t02"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(dlg.Input()));
        QTest::keyClick(dlg.Input(), Qt::Key_Tab);
        QCOMPARE(dlg.Input()->toPlainText(), QStringLiteral("01\t02"));
        QCOMPARE(QApplication::focusWidget(), dlg.GetDlgItem(CCommandSendDlg::IDC_CHECKSUM_ON));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(dlg.Input()));
    }

    void byteLineKeepsUpWithTwoMillionCharacters()
    {
        // 2,048,000 characters: 2000 lines of 341 bytes ("01 " each) and their line breaks.
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, QString());
        QString text;
        for (int i = 0; i < 2000; ++i)
            text += QStringLiteral("01 ").repeated(341) + QLatin1Char('\n');
        text.chop(1);
        QElapsedTimer timer;
        timer.start();
        dlg.Input()->setPlainText(text);
        const qint64 filled = timer.restart();
        QTRY_COMPARE(dlg.ByteLine()->text(), QStringLiteral("682000 ﾊﾞｲﾄ"));
        QCOMPARE(dlg.NonHexLine()->text(), QString());
        const qint64 counted = timer.restart();
        // A key typed into it is handled at once; the byte line follows within the delay.
        dlg.Input()->moveCursor(QTextCursor::End);
        timer.restart();
        QTest::keyClick(dlg.Input(), Qt::Key_Backspace);
        const qint64 typed = timer.elapsed();
        QTest::keyClicks(dlg.Input(), QStringLiteral("G"));
        QTRY_COMPARE(dlg.NonHexLine()->text(), NotHex(2000, 1023, "G"));
        qInfo("2,048,000 characters: filled %lld ms, counted %lld ms later, one key %lld ms", filled, counted, typed);
    }

    void ctrlReturnPressesSendAndTypingStartsInTheInput()
    {
        RecordingView view;
        CCommandSendDlg dlg;
        dlg.Create(&view, KIND_COMMAND_SEND);
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(dlg.Input()));
        QVERIFY(Button(dlg, CCommandSendDlg::IDC_SEND)->toolTip().contains(QStringLiteral("Ctrl+Enter")));
        QTest::keyClicks(dlg.Input(), QStringLiteral("0A"));
        QTest::keyClick(dlg.Input(), Qt::Key_Return, Qt::ControlModifier);
        QCOMPARE(dlg.Input()->toPlainText(), QStringLiteral("0A"));  // no new line
        QCOMPARE(Telegram(dlg), QByteArray("\x0a", 1));
        QVERIFY(view.Drain());
        QCOMPARE(view.messages.size(), 1);
        // A disabled "送信" is not pressed by the key either.
        dlg.EnableSend(false);
        QTest::keyClick(dlg.Input(), Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
        QVERIFY(view.Drain());
        QCOMPARE(view.messages.size(), 1);
    }

    void emptyInputSendsNothing_data()
    {
        QTest::addColumn<bool>("textMode");
        QTest::newRow("hex") << false;
        QTest::newRow("text") << true;
    }
    void emptyInputSendsNothing()
    {
        QFETCH(bool, textMode);
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, QStringLiteral("AB"), textMode);
        Press(dlg, CCommandSendDlg::IDC_SEND);
        Press(dlg, CCommandSendDlg::IDC_CLEAR);
        QCOMPARE(dlg.Input()->GetTextLength(), 0);
        Press(dlg, CCommandSendDlg::IDC_SEND);
        QVERIFY(view.Drain());
        QCOMPARE(view.messages.size(), 1);  // only the first press
        QCOMPARE(Telegram(dlg), textMode ? QByteArray("AB") : QByteArray("\xab", 1));
    }

    void textTelegramStopsAtBufferEnd()
    {
        // One short line, then 1000 lines of 1024 double-byte characters: 2,049,953 bytes assembled.
        // The buffer ends in the middle of a character, which is left out.
        const QString kanji(1024, QChar(0x9001));  // 送, 2 bytes in code page 932
        QString input = QStringLiteral("A");
        for (int i = 0; i < 1000; ++i)
            input += QLatin1Char('\n') + kanji;
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, input, true);
        Press(dlg, CCommandSendDlg::IDC_SEND);
        QCOMPARE(int(Telegram(dlg).size()), QN_BUFFER_SIZE - 1);
        const QByteArray telegram = Telegram(dlg);
        const QByteArray line = ToCp932(kanji) + "\r\n";
        QVERIFY(telegram.startsWith("A\r\n" + line));
        QVERIFY(telegram.endsWith("\r\n" + ToCp932(kanji.left(23))));
        QVERIFY(!FromCp932(telegram.right(100)).contains(QChar::ReplacementCharacter));
        QVERIFY(view.Drain());
        QCOMPARE(view.messages.size(), 1);
    }

    void hexInputAtItsLimitFitsTheBuffer()
    {
        // 2,000 lines of 1,024 digits: the input's limit in characters, 1,024,000 bytes, no error box.
        QString input;
        const QString line(1024, QLatin1Char('F'));
        for (int i = 0; i < 2000; ++i)
            input += line + QLatin1Char('\n');
        input.chop(1);
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, input);
        ScriptedPrompts prompts;
        Press(dlg, CCommandSendDlg::IDC_SEND);
        QCOMPARE(int(Telegram(dlg).size()), 1024000);
        QCOMPARE(Telegram(dlg), QByteArray(1024000, '\xff'));
        QVERIFY(prompts.calls.isEmpty());
    }

    void returnKeyDependsOnFocus_data()
    {
        QTest::addColumn<int>("focusId");
        QTest::addColumn<int>("inputLines");
        QTest::addColumn<int>("sendEvents");
        QTest::newRow("in the input: new line") << int(CCommandSendDlg::IDC_INPUT) << 2 << 0;
        QTest::newRow("on the check box: presses 送信") << int(CCommandSendDlg::IDC_SEND_TEXT) << 1 << 1;
    }
    void returnKeyDependsOnFocus()
    {
        QFETCH(int, focusId);
        QFETCH(int, inputLines);
        QFETCH(int, sendEvents);
        RecordingView view;
        CCommandSendDlg dlg;
        dlg.Create(&view, KIND_COMMAND_SEND);
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.activateWindow();
        dlg.Input()->setPlainText(QStringLiteral("01"));
        QWidget *target = dlg.GetDlgItem(focusId);
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
        QTest::keyClick(target, Qt::Key_Return);
        QCOMPARE(dlg.Input()->GetLineCount(), inputLines);
        QVERIFY(dlg.isVisible());
        QVERIFY(view.Drain());
        QCOMPARE(view.messages.size(), sendEvents);
    }

    void closingAsksTheView_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Esc") << "esc";
        QTest::newRow("close box") << "closebox";
    }
    void closingAsksTheView()
    {
        QFETCH(QString, how);
        RecordingView view;
        CCommandSendDlg dlg;
        dlg.Create(&view, KIND_COMMAND_SEND);
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        if (how == QLatin1String("esc")) {
            QTest::keyClick(&dlg, Qt::Key_Escape);
        } else {
            QCloseEvent close;
            QSpontaneKeyEvent::setSpontaneous(&close);
            QApplication::instance()->notify(&dlg, &close);  // keeps the event spontaneous
            QVERIFY(!close.isAccepted());
        }
        QVERIFY(view.Drain());
        QCOMPARE(view.messages.size(), 1);
        QCOMPARE(view.messages[0].message, WM_CHILD_CLOSE);
        QCOMPARE(view.messages[0].wParam, WPARAM(1));
        QCOMPARE(view.messages[0].lParam, LPARAM(0));
        QVERIFY(dlg.isVisible());
        QVERIFY(dlg.HasWindow());
    }

    void applicationCloseIsNotHeldUp()
    {
        // Quitting closes every window; a window refusing that would keep the program running.
        RecordingView view;
        CCommandSendDlg dlg;
        dlg.Create(&view, KIND_COMMAND_SEND);
        QVERIFY(dlg.close());
        QVERIFY(view.Drain());
        QVERIFY(view.messages.isEmpty());
    }

    void reopeningKeepsModeAndTelegramButNotText()
    {
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, QStringLiteral("AB"), true);
        Press(dlg, CCommandSendDlg::IDC_SEND);
        dlg.EnableSend(false);
        dlg.DestroyWindow();
        QVERIFY(!dlg.HasWindow());
        QVERIFY(!dlg.isVisible());
        QVERIFY(!dlg.Input());
        QCOMPARE(Telegram(dlg), QByteArray("AB"));
        QCOMPARE(dlg.Create(&view, KIND_COMMAND_SEND), TRUE);
        QVERIFY(SendTextBox(dlg)->isChecked());
        QCOMPARE(SessionProbe::SendsText(dlg), TRUE);
        QCOMPARE(dlg.Input()->GetTextLength(), 0);
        QVERIFY(Button(dlg, CCommandSendDlg::IDC_SEND)->isEnabled());  // the view sets it again
        QCOMPARE(Telegram(dlg), QByteArray("AB"));
        QCOMPARE(dlg.findChildren<CInputEdit *>().size(), 1);
    }

    void sessionEventsAreIgnored()
    {
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, QStringLiteral("01"));
        QCOMPARE(SendMessage(&dlg, WM_SESSION_EVENT, EV_SEND, 0), LRESULT(0));
        QVERIFY(view.Drain());
        QVERIFY(view.messages.isEmpty());
        QCOMPARE(int(Telegram(dlg).size()), 0);
    }

    void writeFileSavesLinesWithCrLf_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty input: one empty line") << QString() << QByteArray("\r\n");
        QTest::newRow("every line ends with CR LF") << QStringLiteral("0102\nAB") << QByteArray("0102\r\nAB\r\n");
        QTest::newRow("1500-char line written as 1024") << QString(1500, QLatin1Char('9')) << QByteArray(1024, '9') + "\r\n";
        QTest::newRow("code page 932") << QStringLiteral("送信") << ToCp932(u"送信") + "\r\n";
    }
    void writeFileSavesLinesWithCrLf()
    {
        QFETCH(QString, input);
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("command.txt"));
        QVERIFY(WriteAll(path, QByteArray(5000, 'z')));  // truncated by the write
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, input);
        ScriptedPrompts prompts;
        prompts.fileNames.enqueue(path);
        Press(dlg, CCommandSendDlg::IDC_WRITE_FILE);
        QCOMPARE(ReadAll(path), file);
        QCOMPARE(prompts.calls.size(), 1);
        const Prompts::FileRequest &request = prompts.calls[0].request;
        QVERIFY(prompts.calls[0].fileRequest);
        QVERIFY(!request.open);
        QVERIFY(request.overwritePrompt);
        QCOMPARE(request.filter, QStringLiteral("ﾃｷｽﾄﾌｧｲﾙ (*.txt)|*.txt|全てのﾌｧｲﾙ (*.*)|*.*||"));
        QCOMPARE(request.defaultExtension, QStringLiteral("txt"));
        QVERIFY(request.initialName.isEmpty());
    }

    void readFileFillsInput_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("textTelegram");
        const QString a1023(1023, QLatin1Char('a'));
        QTest::newRow("CR LF lines, empty last line") << QByteArray("AB\r\nC\r\n")
                                                      << QStringList{QStringLiteral("AB"), QStringLiteral("C"), QString()}
                                                      << QByteArray("AB\r\nC\r\n");
        QTest::newRow("2000-char line: 1023 + 977") << QByteArray(2000, 'a') + "\r\n"
                                                   << QStringList{a1023, QString(977, QLatin1Char('a')), QString()}
                                                   << QByteArray(1023, 'a') + "\r\n" + QByteArray(977, 'a') + "\r\n";
        QTest::newRow("1023-char line: no empty line after it") << QByteArray(1023, 'a') + "\r\nb\r\n"
                                                               << QStringList{a1023, QStringLiteral("b"), QString()}
                                                               << QByteArray(1023, 'a') + "\r\nb\r\n";
        QTest::newRow("double-byte character never split")
            << QByteArray(1022, 'a') + ToCp932(u"送信") + "\r\n"
            << QStringList{QString(1022, QLatin1Char('a')), QStringLiteral("送信"), QString()}
            << QByteArray(1022, 'a') + "\r\n" + ToCp932(u"送信") + "\r\n";
        QTest::newRow("no break at the end") << QByteArray("AB") << QStringList{QStringLiteral("AB"), QString()} << QByteArray("AB\r\n");
        QTest::newRow("LF alone") << QByteArray("A\nB\n") << QStringList{QStringLiteral("A"), QStringLiteral("B"), QString()}
                                  << QByteArray("A\r\nB\r\n");
        QTest::newRow("empty file") << QByteArray() << QStringList{QString()} << QByteArray();
    }
    void readFileFillsInput()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, textTelegram);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("command.txt"));
        QVERIFY(WriteAll(path, file));
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, QStringLiteral("replaced"));
        ScriptedPrompts prompts;
        prompts.fileNames.enqueue(path);
        Press(dlg, CCommandSendDlg::IDC_READ_FILE);
        QCOMPARE(InputLines(dlg), lines);
        QVERIFY(prompts.calls[0].request.open);
        SendTextBox(dlg)->setChecked(true);
        Press(dlg, CCommandSendDlg::IDC_SEND);
        QCOMPARE(Telegram(dlg), textTelegram);
    }

    void writtenFileReadsBack()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("round.txt"));
        RecordingView view;
        CCommandSendDlg dlg;
        dlg.Create(&view, KIND_COMMAND_SEND);
        const QStringList typed{QStringLiteral("0102"), QString(), QStringLiteral("ﾃｷｽﾄ 送信"), QString(1024, QLatin1Char('b'))};
        dlg.Input()->setPlainText(typed.join(QLatin1Char('\n')));
        ScriptedPrompts prompts;
        prompts.fileNames.enqueue(path);
        prompts.fileNames.enqueue(path);
        Press(dlg, CCommandSendDlg::IDC_WRITE_FILE);
        Press(dlg, CCommandSendDlg::IDC_CLEAR);
        Press(dlg, CCommandSendDlg::IDC_READ_FILE);
        // The same lines, the 1024-character one as 1023 + 1, plus an empty last line.
        QCOMPARE(InputLines(dlg), (QStringList{typed[0], typed[1], typed[2], QString(1023, QLatin1Char('b')),
                                               QStringLiteral("b"), QString()}));
    }

    void readingStopsAtTheInputLimit()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.txt"));
        QByteArray big;
        for (int i = 0; i < 2100; ++i)
            big += QByteArray(1000, 'c') + "\r\n";
        QVERIFY(WriteAll(path, big));
        RecordingView view;
        CCommandSendDlg dlg;
        dlg.Create(&view, KIND_COMMAND_SEND);
        ScriptedPrompts prompts;
        prompts.fileNames.enqueue(path);
        Press(dlg, CCommandSendDlg::IDC_READ_FILE);
        QCOMPARE(dlg.Input()->GetTextLength(), QN_BUFFER_SIZE);
    }

    void unopenableFileShowsOpenErr_data()
    {
        QTest::addColumn<int>("button");
        QTest::newRow("write") << int(CCommandSendDlg::IDC_WRITE_FILE);
        QTest::newRow("read") << int(CCommandSendDlg::IDC_READ_FILE);
    }
    void unopenableFileShowsOpenErr()
    {
        QFETCH(int, button);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing/folder/command.txt"));
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, QStringLiteral("kept"));
        ScriptedPrompts prompts;
        prompts.fileNames.enqueue(path);
        Press(dlg, button);
        QCOMPARE(prompts.MessageTexts(), QStringList{path + QStringLiteral(" Open err")});
        const ScriptedPrompts::Call &box = prompts.calls.back();
        QCOMPARE(box.caption, QStringLiteral("Quillnet"));
        QCOMPARE(box.buttons, Prompts::Ok);
        QCOMPARE(box.icon, Prompts::NoIcon);
        QCOMPARE(dlg.Input()->toPlainText(), QStringLiteral("kept"));
        QVERIFY(!QFile::exists(path));
    }

    void cancelledFileDialogChangesNothing()
    {
        RecordingView view;
        CCommandSendDlg dlg;
        Open(dlg, view, QStringLiteral("kept"));
        ScriptedPrompts prompts;  // no file name planned: cancelled
        Press(dlg, CCommandSendDlg::IDC_READ_FILE);
        Press(dlg, CCommandSendDlg::IDC_WRITE_FILE);
        QCOMPARE(prompts.calls.size(), 2);
        QVERIFY(prompts.MessageTexts().isEmpty());
        QCOMPARE(dlg.Input()->toPlainText(), QStringLiteral("kept"));
    }
};

QTEST_MAIN(TestCommandSendDlg)
#include "tst_commandsenddlg.moc"
