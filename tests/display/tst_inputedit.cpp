// Rectangle scaling and the input edit control: scaled creation, line access, append, length limit.
#include "display/ui/cinputedit.h"
#include "display/ui/logfontheight.h"
#include "display/scalerecttofont.h"
#include "platform/ui/uifonts.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

Q_DECLARE_METATYPE(QnRect)

namespace {

QStringList Lines(const CInputEdit &edit)
{
    QStringList lines;
    QString line;
    for (int i = 0; i < edit.GetLineCount(); ++i) {
        edit.GetLineText(i, line, 1 << 24);
        lines << line;
    }
    return lines;
}

}  // namespace

class TestInputEdit : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }

    void rectScalesWithFontHeight_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<QnRect>("rect");
        QTest::addColumn<QnRect>("scaled");
        QTest::newRow("-15 input area") << -15 << QnRect{0, 30, 420, 230} << QnRect{0, 37, 559, 287};
        QTest::newRow("-12 unchanged") << -12 << QnRect{0, 30, 420, 230} << QnRect{0, 30, 420, 230};
        QTest::newRow("+12 widens only") << 12 << QnRect{0, 30, 420, 230} << QnRect{0, 30, 447, 230};
        QTest::newRow("-24 doubles, 2.13 across") << -24 << QnRect{100, 30, 420, 230} << QnRect{213, 60, 894, 460};
        QTest::newRow("-15 status label") << -15 << QnRect{2, 2, 110, 20} << QnRect{2, 2, 146, 25};
        QTest::newRow("-9 shrinks") << -9 << QnRect{240, 2, 248, 20} << QnRect{191, 1, 198, 15};
        QTest::newRow("empty stays empty") << -20 << QnRect{} << QnRect{};
    }
    void rectScalesWithFontHeight()
    {
        QFETCH(int, height);
        QFETCH(QnRect, rect);
        QFETCH(QnRect, scaled);
        ScaleRectToFont(rect, height);
        QCOMPARE(rect, scaled);
    }

    void createScaledPlacesControl_data()
    {
        QTest::addColumn<QFont>("font");
        QTest::addColumn<int>("logHeight");
        QTest::addColumn<QRect>("geometry");
        const QString face = QString::fromUtf8(kFaceMsGothic);
        QTest::newRow("-15") << LogFont(face, -15) << -15 << QRect(0, 37, 559, 250);
        QTest::newRow("-12") << LogFont(face, -12) << -12 << QRect(0, 30, 420, 200);
        QTest::newRow("9 pt at 96 dpi is -12") << DialogFont(face, 9) << -12 << QRect(0, 30, 420, 200);
        QTest::newRow("-24") << LogFont(face, -24) << -24 << QRect(0, 60, 894, 400);
    }
    void createScaledPlacesControl()
    {
        QFETCH(QFont, font);
        QFETCH(int, logHeight);
        QFETCH(QRect, geometry);
        QWidget parent;
        QCOMPARE(parent.logicalDpiY(), 96);
        QCOMPARE(LogFontHeight(font, &parent), logHeight);
        CInputEdit edit;
        edit.CreateScaled(font, QnRect{0, 30, 420, 230}, &parent, 1);
        QCOMPARE(edit.parentWidget(), &parent);
        QCOMPARE(edit.geometry(), geometry);
        QCOMPARE(edit.GetDlgCtrlID(), 1);
        QCOMPARE(edit.GetStyle(), CInputEdit::kDefaultStyle);
        QCOMPARE(edit.font(), font);
        QCOMPARE(edit.lineWrapMode(), QPlainTextEdit::NoWrap);
        QVERIFY(!edit.isReadOnly());
    }

    void lineTextStopsAtMaxAndLineEnd_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("max");
        QTest::addColumn<QString>("expected");
        const QString longLine(1500, QLatin1Char('7'));
        QTest::newRow("long line cut at max") << longLine + QStringLiteral("\nx") << 0 << 1024 << longLine.left(1024);
        QTest::newRow("line shorter than max") << QStringLiteral("ab\ncd") << 1 << 1024 << QStringLiteral("cd");
        QTest::newRow("empty line") << QStringLiteral("ab\n\ncd") << 1 << 1024 << QString();
        QTest::newRow("empty control") << QString() << 0 << 1024 << QString();
        QTest::newRow("line beyond the last") << QStringLiteral("ab") << 3 << 1024 << QString();
        QTest::newRow("max 0") << QStringLiteral("ab") << 0 << 0 << QString();
        QTest::newRow("soft break ends the line") << QStringLiteral("ab") + QChar(QChar::LineSeparator) + QStringLiteral("cd")
                                                  << 0 << 1024 << QStringLiteral("ab");
        QTest::newRow("kanji") << QStringLiteral("送信ﾃﾞｰﾀ") << 0 << 3 << QStringLiteral("送信ﾃ");
        QTest::newRow("never half a pair") << QStringLiteral("a\U0001F600") << 0 << 2 << QStringLiteral("a");
    }
    void lineTextStopsAtMaxAndLineEnd()
    {
        QFETCH(QString, text);
        QFETCH(int, line);
        QFETCH(int, max);
        QFETCH(QString, expected);
        CInputEdit edit;
        edit.setPlainText(text);
        QString out = QStringLiteral("stale");
        QCOMPARE(edit.GetLineText(line, out, max), int(expected.size()));
        QCOMPARE(out, expected);
    }

    void appendTextAddsAtTheEnd_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("lineBreak");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("flag on empty control: two lines") << QString() << QStringLiteral("abc") << true
                                                          << QStringList{QStringLiteral("abc"), QString()};
        QTest::newRow("no flag") << QString() << QStringLiteral("abc") << false << QStringList{QStringLiteral("abc")};
        QTest::newRow("continues the last line") << QStringLiteral("x\ny") << QStringLiteral("z") << true
                                                 << QStringList{QStringLiteral("x"), QStringLiteral("yz"), QString()};
        QTest::newRow("CR LF is one break") << QString() << QStringLiteral("a\r\nb") << false
                                            << QStringList{QStringLiteral("a"), QStringLiteral("b")};
    }
    void appendTextAddsAtTheEnd()
    {
        QFETCH(QString, before);
        QFETCH(QString, text);
        QFETCH(bool, lineBreak);
        QFETCH(QStringList, lines);
        CInputEdit edit;
        edit.setPlainText(before);
        QTextCursor start = edit.textCursor();
        start.setPosition(0);
        edit.setTextCursor(start);  // the caret elsewhere does not matter
        edit.AppendText(text, lineBreak);
        QCOMPARE(Lines(edit), lines);
        QCOMPARE(edit.textCursor().position(), edit.GetTextLength());
    }

    void clearAllEmptiesTheControl()
    {
        CInputEdit edit;
        edit.setPlainText(QStringLiteral("a\nb\nc"));
        edit.ClearAll();
        QCOMPARE(edit.GetTextLength(), 0);
        QCOMPARE(edit.GetLineCount(), 1);
    }

    void lengthLimitRefusesExcess_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("selectAll");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("after");
        QTest::newRow("typing stops at the limit") << 5 << QStringLiteral("ab") << false << "type" << QStringLiteral("cdefg") << QStringLiteral("abcde");
        QTest::newRow("Return counts one") << 3 << QStringLiteral("ab") << false << "type" << QStringLiteral("\ncd") << QStringLiteral("ab\n");
        QTest::newRow("typing over a selection") << 3 << QStringLiteral("abc") << true << "type" << QStringLiteral("xyz!") << QStringLiteral("xyz");
        QTest::newRow("paste cut to the room") << 6 << QStringLiteral("ab") << false << "paste" << QStringLiteral("cdefgh") << QStringLiteral("abcdef");
        QTest::newRow("pasted CR LF counts one") << 5 << QStringLiteral("ab") << false << "paste" << QStringLiteral("c\r\nde") << QStringLiteral("abc\nd");
        QTest::newRow("paste over a selection") << 4 << QStringLiteral("abcd") << true << "paste" << QStringLiteral("wxyz1") << QStringLiteral("wxyz");
        QTest::newRow("append cut to the room") << 4 << QStringLiteral("ab") << false << "append" << QStringLiteral("cdef") << QStringLiteral("abcd");
        QTest::newRow("no limit") << 0 << QStringLiteral("ab") << false << "type" << QStringLiteral("cdefg") << QStringLiteral("abcdefg");
    }
    void lengthLimitRefusesExcess()
    {
        QFETCH(int, limit);
        QFETCH(QString, before);
        QFETCH(bool, selectAll);
        QFETCH(QString, action);
        QFETCH(QString, input);
        QFETCH(QString, after);
        QWidget parent;
        CInputEdit edit;
        edit.CreateScaled(LogFont(QString::fromUtf8(kFaceMsGothic), -12), QnRect{0, 0, 200, 100}, &parent, 1);
        parent.show();
        edit.setFocus();
        edit.setPlainText(before);
        edit.LimitText(limit);
        QTextCursor cursor = edit.textCursor();
        cursor.movePosition(QTextCursor::End);
        if (selectAll)
            cursor.select(QTextCursor::Document);
        edit.setTextCursor(cursor);
        if (action == QLatin1String("type")) {
            for (QChar c : input) {
                if (c == QLatin1Char('\n'))
                    QTest::keyClick(&edit, Qt::Key_Return);
                else
                    QTest::keyClicks(&edit, QString(c));
            }
        } else if (action == QLatin1String("paste")) {
            QApplication::clipboard()->setText(input);
            QCOMPARE(QApplication::clipboard()->text(), input);
            edit.paste();
        } else {
            edit.AppendText(input, false);
        }
        QCOMPARE(edit.toPlainText(), after);
    }

    void returnKeyFollowsStyle_data()
    {
        QTest::addColumn<uint>("style");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("kept: new line") << uint(0) << int(Qt::NoModifier) << QStringLiteral("a\nb") << true;
        QTest::newRow("Shift+Return is a real line break") << uint(0) << int(Qt::ShiftModifier) << QStringLiteral("a\nb") << true;
        const uint noReturn = CInputEdit::kDefaultStyle & ~CInputEdit::ES_WANTRETURN;
        QTest::newRow("not kept: left to the dialog") << noReturn << int(Qt::NoModifier) << QStringLiteral("ab") << false;
        QTest::newRow("not kept: Ctrl+Return breaks") << noReturn << int(Qt::ControlModifier) << QStringLiteral("a\nb") << true;
        QTest::newRow("read-only: nothing typed") << uint(CInputEdit::kReadOnlyStyle) << int(Qt::NoModifier) << QStringLiteral("ab") << false;
    }
    void returnKeyFollowsStyle()
    {
        QFETCH(uint, style);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(bool, accepted);
        QWidget parent;
        CInputEdit edit;
        edit.CreateScaled(LogFont(QString::fromUtf8(kFaceMsGothic), -12), QnRect{0, 0, 200, 100}, &parent, 1, style);
        edit.setPlainText(QStringLiteral("ab"));
        QTextCursor cursor = edit.textCursor();
        cursor.setPosition(1);
        edit.setTextCursor(cursor);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::KeyboardModifiers(modifiers), QStringLiteral("\r"));
        QApplication::sendEvent(&edit, &press);
        QCOMPARE(press.isAccepted(), accepted);
        QCOMPARE(edit.toPlainText(), text);
        QCOMPARE(edit.GetLineCount(), int(text.count(QLatin1Char('\n'))) + 1);
    }

    void readOnlyStyleForMessageWindows()
    {
        QWidget parent;
        CInputEdit edit;
        edit.CreateScaled(LogFont(QString::fromUtf8(kFaceMsGothic), 12), QnRect{}, &parent, 1, CInputEdit::kReadOnlyStyle);
        QVERIFY(edit.isReadOnly());
        QVERIFY(!edit.isUndoRedoEnabled());
        QVERIFY(edit.textInteractionFlags() & Qt::TextSelectableByKeyboard);
        edit.AppendText(QStringLiteral("line"), true);  // the program still appends
        QCOMPARE(Lines(edit), (QStringList{QStringLiteral("line"), QString()}));
    }
};

QTEST_MAIN(TestInputEdit)
#include "tst_inputedit.moc"
