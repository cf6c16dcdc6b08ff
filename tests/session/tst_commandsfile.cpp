// The commands file: exact round trips, the rows a file may hold, and the line and column of a row
// refused.
#include "session/ccommandsfile.h"

#include <QTest>

namespace {

const QByteArray kHeader = "name,key,action,form,data,checksum,ms,note";

}  // namespace

class TestCommandsFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aFileReadAndWrittenComesOutByteForByte_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("sequences");
        QTest::newRow("CR LF, quotes kept as written") << kHeader + "\r\n\"ping\",F1,send,text,\"PING\\r\",,,\"送信,確認\"\r\n"
                                                       << QStringList{"ping"};
        QTest::newRow("LF, no line end at the end") << kHeader + "\nping,,send,hex,0102\nping,,expect,hex,03??,,500,"
                                                    << QStringList{"ping"};
        QTest::newRow("BOM, blank lines, unknown columns kept") << "\xEF\xBB\xBF" + kHeader + ",owner,rev\r\n\r\na,,wait,,,,10,,me,3\r\n\r\nb/電源,Shift+F2,send,text,\"say \"\"hi\"\"\",,,\r\n\r\n"
                                                                << QStringList{"a", "b/電源"};
        QTest::newRow("rows of one name apart are one sequence") << kHeader + "\r\na,,send,text,1\r\nb,,send,text,2\r\na,,send,text,3\r\n"
                                                                 << QStringList{"a", "b"};
        QTest::newRow("a quoted line end in a note") << kHeader + "\r\na,Ctrl+9,send,text+vars,${seq},CRC-16/MODBUS:le,,\"two\r\nlines\"\r\n"
                                                     << QStringList{"a"};
        QTest::newRow("line controls") << kHeader + "\nreset,F5,dtr,,0\nreset,,rts,,1\nreset,,wait,,,,100,\nreset,,dtr,,1\nwake,,break,,,,\nwake,,break,,,,500,\n"
                                       << QStringList{"reset", "wake"};
    }
    void aFileReadAndWrittenComesOutByteForByte()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, sequences);
        CCommandsFile commands;
        QString error;
        QVERIFY2(commands.Parse(file, &error), qPrintable(error));
        QCOMPARE(commands.ToBytes(), file);
        QStringList names;
        for (const CCommandsFile::Sequence &sequence : commands.Sequences())
            names << sequence.name;
        QCOMPARE(names, sequences);
        // The editor's grid handed back unchanged keeps every byte too.
        QVERIFY(commands.SetRows(commands.Rows(), &error));
        QCOMPARE(commands.ToBytes(), file);
    }

    // A row read keeps its place in the text, not its cells: the cells the editor is given are split
    // again from it, and must be what the row says.
    void theCellsOfARowReadAreWhatItSays_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::newRow("doubled quotes, comma and line ends in a quoted cell")
            << kHeader + "\r\na,,send,text,\"say \"\"hi\"\", then\",,,\"one,\r\ntwo\nthree\"\r\n"
            << QList<QStringList>{{"a", "", "send", "text", "say \"hi\", then", "", "", "one,\r\ntwo\nthree"}};
        QTest::newRow("short rows made up to the columns, unknown columns kept")
            << kHeader + ",owner,rev\na,,send,hex,01\na,,wait,,,,10,,me,3\n"
            << QList<QStringList>{{"a", "", "send", "hex", "01", "", "", ""}, {"a", "", "wait", "", "", "", "10", "", "me", "3"}};
        QTest::newRow("a cell quoted on one row and plain on the next")
            << kHeader + "\na,,send,text,\"PING\"\nb,,send,\"text\",PING\n\"a\",,wait,\"\",,,\"5\",\"\"\n"
            << QList<QStringList>{{"a", "", "send", "text", "PING", "", "", ""},
                                  {"b", "", "send", "text", "PING", "", "", ""},
                                  {"a", "", "wait", "", "", "", "5", ""}};
        QTest::newRow("UTF-8, blank lines and spaces kept in cells")
            << kHeader + "\r\n\r\n電源/ON,Shift+F2,send,text, ｺﾏﾝﾄﾞ ,,,確認\r\n  \r\n電源/ON,,wait,,,,5,\r\n"
            << QList<QStringList>{{"電源/ON", "Shift+F2", "send", "text", " ｺﾏﾝﾄﾞ ", "", "", "確認"},
                                  {"電源/ON", "", "wait", "", "", "", "5", ""}};
        QTest::newRow("text after a closing quote joins the cell") << kHeader + "\na,,send,text,\"\xC3\"\xA9\n"
                                                                 << QList<QStringList>{{"a", "", "send", "text", "é", "", "", ""}};
        QTest::newRow("the last row without a line end") << kHeader + "\na,,expect,regex,\"OK,(\\d+)\",,500,"
                                                       << QList<QStringList>{{"a", "", "expect", "regex", "OK,(\\d+)", "", "500", ""}};
    }
    void theCellsOfARowReadAreWhatItSays()
    {
        QFETCH(QByteArray, file);
        QFETCH(QList<QStringList>, rows);
        CCommandsFile commands;
        QString error;
        QVERIFY2(commands.Parse(file, &error), qPrintable(error));
        QCOMPARE(commands.Rows(), rows);
        // The steps say what the cells say, and an edit of another row leaves each row's cells.
        for (const CCommandsFile::Sequence &sequence : commands.Sequences()) {
            for (qsizetype i = 0; i < sequence.steps.size(); ++i)
                QCOMPARE(sequence.steps[i].Data(), rows[sequence.rows[i]][CCommandsFile::COL_DATA]);
        }
        QList<QStringList> edited = rows;
        edited.append({"added", "", "wait", "", "", "", "1", ""});
        QVERIFY2(commands.SetRows(edited, &error), qPrintable(error));
        QCOMPARE(commands.Rows(), edited);
        QVERIFY(commands.ToBytes().startsWith(file));
    }

    void anEditedRowIsWrittenAfreshTheOthersAsTheyStood()
    {
        CCommandsFile commands;
        QString error;
        QVERIFY(commands.Parse(kHeader + ",x\n\"a\",F1,send,text,\"A\",,,,keep\n", &error));
        QList<QStringList> rows = commands.Rows();
        rows.append({"b", "", "send", "text", "x,\"y\"", "", "", ""});
        QVERIFY(commands.SetRows(rows, &error));
        QCOMPARE(commands.ToBytes(), kHeader + ",x\n\"a\",F1,send,text,\"A\",,,,keep\nb,,send,text,\"x,\"\"y\"\"\",,,\n");
        QCOMPARE(commands.Sequences().size(), 2);
        QCOMPARE(commands.Sequences()[1].steps[0].Data(), QStringLiteral("x,\"y\""));
    }

    void aBadRowIsRefusedWithItsLineAndColumn_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("error");
        QTest::newRow("header") << QByteArray("name,key,act\n") << "1行目 3列目 (action): 見出し行は name,key,action,form,data,checksum,ms,note で始まります";
        QTest::newRow("no name") << kHeader + "\n,,send,hex,01\n" << "2行目 1列目 (name): name が空です";
        QTest::newRow("unknown key") << kHeader + "\n\na,F13,send,hex,01\n" << "3行目 2列目 (key): key は F1～F12, Shift+F1～Shift+F12, Ctrl+1～Ctrl+9 のどれかです";
        QTest::newRow("key taken") << kHeader + "\na,F1,send,hex,01\nb,F1,send,hex,01\n" << "3行目 2列目 (key): F1 は「a」に割り当て済みです";
        QTest::newRow("key on a later row") << kHeader + "\na,,send,hex,01\na,F2,send,hex,01\n" << "3行目 2列目 (key): key はｼｰｹﾝｽの最初の行に書きます";
        QTest::newRow("action") << kHeader + "\na,,sned,hex,01\n" << "2行目 3列目 (action): action は send, wait, expect, dtr, rts, break のどれかです";
        QTest::newRow("send form") << kHeader + "\na,,send,regex,01\n" << "2行目 4列目 (form): send の form は hex, text, hex+vars, text+vars のどれかです";
        QTest::newRow("odd hex digits") << kHeader + "\na,,send,hex,012\n" << "2行目 5列目 (data): ";
        QTest::newRow("unknown placeholder") << kHeader + "\na,,send,text+vars,${nope}\n" << "2行目 5列目 (data): data の ${nope} が分かりません";
        QTest::newRow("empty send") << kHeader + "\na,,send,text,\n" << "2行目 5列目 (data): 送信するﾃﾞｰﾀがありません";
        QTest::newRow("checksum") << kHeader + "\na,,send,hex,01,CRC-99\n" << "2行目 6列目 (checksum): ";
        QTest::newRow("wait without ms") << kHeader + "\na,,wait,,,,,\n" << "2行目 7列目 (ms): wait には ms (ﾐﾘ秒) を指定してください";
        QTest::newRow("ms not a number") << kHeader + "\na,,expect,text,OK,,1s\n" << "2行目 7列目 (ms): ms には 0 から 3600000 までのﾐﾘ秒を指定してください";
        QTest::newRow("bad pattern") << kHeader + "\na,,expect,regex,(a\n" << "2行目 5列目 (data): ";
        QTest::newRow("expect form") << kHeader + "\na,,expect,text+vars,OK\n" << "2行目 4列目 (form): expect の form は hex, text, regex のどれかです";
        QTest::newRow("eol on a hex send") << kHeader + ",eol\na,,send,hex,01,,,,cr\n" << "2行目 9列目 (eol): eol は form が text, text+vars の send に付けます";
        QTest::newRow("eol on a wait") << kHeader + ",eol\na,,wait,,,,5,,lf\n" << "2行目 9列目 (eol): eol は send の行に付けます";
        QTest::newRow("eol not a line end") << kHeader + ",x,eol\na,,send,text,A,,,,,CRL\n" << "2行目 10列目 (eol): eol は none, cr, lf, crlf のどれかです";
        QTest::newRow("dtr of 2") << kHeader + "\nreset,,dtr,,2\n" << "2行目 5列目 (data): dtr の data は 0 (ｵﾌ) か 1 (ｵﾝ) です";
        QTest::newRow("rts without a value") << kHeader + "\nreset,,dtr,,1\nreset,,rts,,\n" << "3行目 5列目 (data): rts の data は 0 (ｵﾌ) か 1 (ｵﾝ) です";
        QTest::newRow("break of 0 ms") << kHeader + "\nwake,,break,,,,0\n" << "2行目 7列目 (ms): break の ms は 1 から 10000 までのﾐﾘ秒です (空: 接続の設定)";
        QTest::newRow("break of a minute") << kHeader + "\nwake,,break,,,,60000\n" << "2行目 7列目 (ms): break の ms は 1 から 10000 までのﾐﾘ秒です (空: 接続の設定)";
        QTest::newRow("not UTF-8 after a refused row: the text is read before the rows") << kHeader + "\na,,sned,hex,01\nb,,send,text,\xff\n" << "3行目 5列目 (data): UTF-8 の文字ではありません";
        QTest::newRow("not UTF-8, line after a quoted line end") << kHeader + "\na,,send,text,\"x\ny\"\nb,,send,text,\xff\n" << "4行目 5列目 (data): UTF-8 の文字ではありません";
    }
    void aBadRowIsRefusedWithItsLineAndColumn()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        CCommandsFile commands;
        QString got;
        QVERIFY(commands.Parse(kHeader + "\nkept,,send,hex,01\n", &got));
        QVERIFY(!commands.Parse(file, &got));
        QVERIFY2(got.startsWith(error), qPrintable(got));
        QCOMPARE(commands.Sequences().size(), 1);  // unchanged by the refusal
    }

    void eolPutsTheLineEndAfterATextSend_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("telegram");  // of the first step
        QTest::newRow("CR LF") << kHeader + ",eol\r\na,,send,text,PING,,,,crlf\r\n" << QByteArray("PING\r\n");
        QTest::newRow("after another added column") << kHeader + ",owner,eol\na,,send,text,X,,,,me,CR\n" << QByteArray("X\r");
        QTest::newRow("none") << kHeader + ",eol\na,,send,text,Q,,,,none\n" << QByteArray("Q");
        QTest::newRow("empty") << kHeader + ",eol\na,,send,text,Q,,,,\n" << QByteArray("Q");
        QTest::newRow("a column named otherwise is no line end") << kHeader + ",eol2\na,,send,text,Q,,,,lf\n" << QByteArray("Q");
        QTest::newRow("before the checksum's terminator") << kHeader + ",eol\na,,send,text,:01030000000A,\"LRC/ASCII:from=1,before=0D0A\",,,crlf\n"
                                                          << QByteArray(":01030000000AF2\r\n");
        QTest::newRow("with placeholders") << kHeader + ",eol\na,,send,text+vars,N${seq},,,,lf\n" << QByteArray("N1\n");
        QTest::newRow("hex without eol beside") << kHeader + ",eol\na,,send,hex,0102,,,,\n" << QByteArray("\x01\x02");
    }
    void eolPutsTheLineEndAfterATextSend()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, telegram);
        CCommandsFile commands;
        QString error;
        QVERIFY2(commands.Parse(file, &error), qPrintable(error));
        QCOMPARE(commands.ToBytes(), file);
        QList<CReplyTemplate::Part> parts;
        const CReplyTemplate::Context context;  // ${seq} 1
        QVERIFY2(commands.Sequences()[0].steps[0].Telegram(context, &parts, &error), qPrintable(error));
        QCOMPARE(parts.size(), 1);
        QCOMPARE(parts[0].bytes, telegram);
    }

    void anEditThatGivesARowALineEndAddsTheColumn()
    {
        CCommandsFile commands;
        QString error;
        QVERIFY(commands.Parse(kHeader + "\r\na,,send,text,A\r\n", &error));
        // The editor's grid has the column (empty) whether or not the file does: unused, nothing changes.
        QList<QStringList> rows = commands.Rows();
        rows[0].resize(9);
        QVERIFY(commands.SetRows(rows, &error));
        QCOMPARE(commands.ToBytes(), kHeader + "\r\na,,send,text,A\r\n");
        rows.append({"b", "", "send", "text", "B", "", "", "", "cr"});
        QVERIFY2(commands.SetRows(rows, &error), qPrintable(error));
        QCOMPARE(commands.ToBytes(), kHeader + ",eol\r\na,,send,text,A\r\nb,,send,text,B,,,,cr\r\n");
    }

    // A file compiles each text, template and pattern once and shares it between the rows that
    // repeat it: every step must still come out as it would in a file of its own.
    void aStepCompilesAsItWouldAlone_data()
    {
        QTest::addColumn<QByteArray>("rows");   // after the header
        QTest::addColumn<QByteArray>("received");  // what each expect is shown
        QTest::newRow("the same data, hex and text templates") << QByteArray("a,,send,hex+vars,41${seq}\nb,,send,text+vars,41${seq}\n") << QByteArray();
        QTest::newRow("a template with and without a line end")
            << QByteArray("a,,send,text+vars,N${seq},,,,lf\nb,,send,text+vars,N${seq},,,,\n") << QByteArray();
        QTest::newRow("quoted and plain cells alike") << QByteArray("\"a\",,\"send\",text,\"x\"\"y\"\na,,send,text,\"x\"\"y\"\nb,,send,\"text\",x\n") << QByteArray();
        QTest::newRow("one pattern after another") << QByteArray("a,,expect,regex,OK ([0-9]+)\nb,,expect,regex,NG\nc,,expect,regex,OK ([0-9]+)\n")
                                                 << QByteArray("NG OK 12");
        QTest::newRow("the same data as text and as a pattern") << QByteArray("a,,expect,text,A.\nb,,expect,regex,A.\n") << QByteArray("AB");
        QTest::newRow("the same data with and without a checksum")
            << QByteArray("a,,send,hex,01 03,CRC-16/MODBUS:le\nb,,send,hex,01 03\nc,,send,hex,01 03,SUM8\n") << QByteArray();
        QTest::newRow("one pattern under different times") << QByteArray("a,,expect,text,OK,,100\nb,,expect,text,OK,,2500\nc,,expect,text,OK\n")
                                                         << QByteArray("OK");
        QTest::newRow("line controls of one value") << QByteArray("a,,dtr,,1\nb,,rts,,1\nc,,dtr,,0\nd,,break,,,,5\ne,,break\n") << QByteArray();
    }
    void aStepCompilesAsItWouldAlone()
    {
        QFETCH(QByteArray, rows);
        QFETCH(QByteArray, received);
        const QByteArray header = kHeader + ",eol\n";
        CCommandsFile whole;
        QString error;
        QVERIFY2(whole.Parse(header + rows, &error), qPrintable(error));
        const QList<QByteArray> lines = rows.split('\n');
        int line = 0;
        for (const CCommandsFile::Sequence &sequence : whole.Sequences()) {
            for (const CCommandStep &step : sequence.steps) {
                CCommandsFile alone;
                QVERIFY2(alone.Parse(header + lines[line++], &error), qPrintable(error));
                const CCommandStep &own = alone.Sequences()[0].steps[0];
                QCOMPARE(step.Form(), own.Form());
                QCOMPARE(step.Data(), own.Data());
                QCOMPARE(step.Eol(), own.Eol());
                QCOMPARE(step.action, own.action);
                QCOMPARE(step.ms, own.ms);
                QCOMPARE(step.value, own.value);
                if (step.action == CCommandStep::Send) {
                    QList<CReplyTemplate::Part> got, wanted;
                    CReplyTemplate::Context context;
                    context.seq = 7;
                    QVERIFY(step.Telegram(context, &got, &error));
                    QVERIFY(own.Telegram(context, &wanted, &error));
                    QCOMPARE(got.size(), wanted.size());
                    for (qsizetype i = 0; i < got.size(); ++i)
                        QCOMPARE(got[i].bytes, wanted[i].bytes);
                } else {
                    QList<QByteArray> got, wanted;
                    QCOMPARE(step.Holds(received, &got), own.Holds(received, &wanted));
                    QCOMPARE(got, wanted);
                }
            }
        }
        QCOMPARE(line, int(lines.size()) - 1);
    }

    void pagesAndCaptionsComeFromTheName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("caption");
        QTest::newRow("plain") << "ping" << "" << "ping";
        QTest::newRow("page") << "電源/ON" << "電源" << "ON";
        QTest::newRow("leading slash is no page") << "/x" << "" << "/x";
        QTest::newRow("only the first slash") << "a/b/c" << "a" << "b/c";
    }
    void pagesAndCaptionsComeFromTheName()
    {
        QFETCH(QString, name);
        QFETCH(QString, page);
        QFETCH(QString, caption);
        CCommandsFile::Sequence sequence;
        sequence.name = name;
        QCOMPARE(sequence.Page(), page);
        QCOMPARE(sequence.Caption(), caption);
    }
};

QTEST_GUILESS_MAIN(TestCommandsFile)
#include "tst_commandsfile.moc"
