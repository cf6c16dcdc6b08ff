// The dialog "応答ﾙｰﾙ設定": reached from the menu and the tool bar, editing the grid, refusing bad
// rules with a marked cell and a message, and CSV import and export.
#include "res/commandids.h"
#include "batch/ui/cvsflexgrid.h"
#include "session/ui/creplyrulesdlg.h"
#include "sessionharness.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolBar>

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;

void Click(CReplyRulesDlg &dlg, int id)
{
    auto *button = qobject_cast<QPushButton *>(dlg.GetDlgItem(id));
    QVERIFY(button);
    button->click();
}

// A pattern answered in text with placeholders, setting the state BUSY.
CReplyRule PatternRule(const QString &pattern, const QString &reply)
{
    CReplyRule rule;
    rule.kind = CReplyRule::KindRegex;
    rule.match = pattern;
    rule.replyText = true;
    rule.replyPlaceholders = true;
    rule.reply = reply;
    rule.nextState = QStringLiteral("BUSY");
    return rule;
}

}  // namespace

class TestReplyRulesDlg : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void menuAndToolBarOpenTheDialogAndOkStoresTheTable()
    {
        SessionHarness h;
        QAction *action = h.Frame()->GetAction(ID_REPLY_RULES);
        QVERIFY(action && h.Frame()->GetToolBar()->actions().contains(action));
        QVERIFY(!action->icon().isNull());
        QCOMPARE(action->toolTip(), QStringLiteral("応答ﾙｰﾙ設定"));
        QString title;
        QTimer::singleShot(0, this, [&] {
            if (auto *dlg = qobject_cast<CReplyRulesDlg *>(QApplication::activeModalWidget())) {
                title = dlg->windowTitle();
                qobject_cast<QCheckBox *>(dlg->GetDlgItem(CReplyRulesDlg::IDC_USE))->setChecked(true);
                Click(*dlg, CReplyRulesDlg::IDC_ADD);
                dlg->Grid()->SetCellText(1, CReplyRulesDlg::COL_MATCH, QStringLiteral("0102"));
                dlg->Grid()->SetCellText(1, CReplyRulesDlg::COL_REPLY, QStringLiteral("06"));
                Click(*dlg, CReplyRulesDlg::IDC_OK);
            }
        });
        action->trigger();
        QCOMPARE(title, QStringLiteral("応答ﾙｰﾙ設定"));
        QVERIFY(h.View()->ReplyRules().IsActive());
        QCOMPARE(h.View()->ReplyRules().rules.size(), 1);
        QVERIFY(h.Doc().IsModified());
        QCOMPARE(h.Doc().GetSlotString(CQnDoc::SLOT_REPLY_RULE_TEXTS), QStringLiteral("0102"));
    }

    void aDocumentWithEveryKindComesBackByteForByteAfterOk()
    {
        SessionHarness h;
        CReplyRuleTable table;
        table.use = true;
        for (int kind = 0; kind < CReplyRule::kKindCount; ++kind) {
            CReplyRule rule;
            rule.kind = kind;
            rule.match = kind == CReplyRule::KindPeriodic ? QString() : kind == CReplyRule::KindRegex ? QStringLiteral("^A") : QStringLiteral("41");
            rule.reply = QStringLiteral("06");
            rule.delay = kind == CReplyRule::KindPeriodic ? 1000 : kind;
            table.rules << rule;
        }
        table.Store(h.Doc());
        const QString path = SessionHarness::TempPath(QStringLiteral("every kind.qn"));
        QString error;
        const auto saved = [&] {
            QFile file(path);
            return h.Doc().OnSaveDocument(path, &error) && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray before = saved();
        QVERIFY2(!before.isEmpty() && h.Doc().OnOpenDocument(path, &error), qPrintable(error));
        h.View()->OnInitialUpdate(&h.Doc());
        QCOMPARE(h.View()->ReplyRules(), table);
        QStringList kinds;
        QTimer::singleShot(0, this, [&] {
            auto *dlg = qobject_cast<CReplyRulesDlg *>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            for (int row = 1; row < dlg->Grid()->GetRowCount(); ++row)
                kinds << dlg->Grid()->GetCellText(row, CReplyRulesDlg::COL_KIND);
            Click(*dlg, CReplyRulesDlg::IDC_OK);
            if (dlg->isVisible())
                dlg->reject();
        });
        h.Command(ID_REPLY_RULES);
        QCOMPARE(kinds, (QStringList{"一致", "前方一致", "含む", "後方一致", "正規表現", "定期送信"}));
        QCOMPARE(h.Prompts().MessageTexts(), QStringList());
        QCOMPARE(saved(), before);
        QFile::remove(path);
    }

    void badCellsAreMarkedAndOkIsRefused_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("hex") << int(CReplyRulesDlg::COL_MATCH) << "01G2" << "ﾙｰﾙ 2: 照合ﾃﾞｰﾀが正しい16進数ではありません (2桁ずつ 0-9 A-F)。";
        QTest::newRow("long reply") << int(CReplyRulesDlg::COL_REPLY) << QString(4096002, QLatin1Char('A'))
                                    << "ﾙｰﾙ 2: 応答ﾃﾞｰﾀが送信ﾊﾞｯﾌｧ (2048000 ﾊﾞｲﾄ) より長くなっています。";
        QTest::newRow("delay") << int(CReplyRulesDlg::COL_DELAY) << "60001" << "ﾙｰﾙ 2: 遅延は 0 から 60000 ﾐﾘ秒の範囲で指定してください。";
        QTest::newRow("delay text") << int(CReplyRulesDlg::COL_DELAY) << "abc" << "ﾙｰﾙ 2: 遅延は 0 から 60000 ﾐﾘ秒の範囲で指定してください。";
        QTest::newRow("kind") << int(CReplyRulesDlg::COL_KIND) << "近い" << "ﾙｰﾙ 2: 照合方法は 一致、前方一致、含む、後方一致、正規表現、定期送信 のいずれかを指定してください。";
        QTest::newRow("checksum") << int(CReplyRulesDlg::COL_CHECKSUM) << "SUM8:xx"
                                  << "ﾙｰﾙ 2: ﾁｪｯｸｻﾑの指定 \"xx\" が分かりません (from=n, end=m, before=16進, le, be, ascii, bin)";
        QTest::newRow("without checksum") << int(CReplyRulesDlg::COL_WITHOUT_CHECKSUM) << "X" << "ﾙｰﾙ 2: ﾁｪｯｸｻﾑ除外照合は ON か OFF を指定してください。";
    }
    void badCellsAreMarkedAndOkIsRefused()
    {
        QFETCH(int, col);
        QFETCH(QString, value);
        QFETCH(QString, message);
        ScriptedPrompts prompts;
        CReplyRule good;
        good.match = QStringLiteral("01");
        good.reply = QStringLiteral("02");
        CReplyRuleTable table;
        table.rules = {good, good};
        CReplyRulesDlg dlg(table);
        dlg.show();
        dlg.Grid()->SetCellText(2, col, value);
        Click(dlg, CReplyRulesDlg::IDC_OK);
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), 0);
        QCOMPARE(prompts.MessageTexts(), QStringList{message});
        QVERIFY(dlg.Grid()->GetCellBackColor(2, col) != kWhite);
        QCOMPARE(dlg.Grid()->GetCellBackColor(1, col), kWhite);

        // Fixed: the mark goes and OK closes.
        dlg.Grid()->SetCellText(2, col, dlg.Grid()->GetCellText(1, col));
        Click(dlg, CReplyRulesDlg::IDC_OK);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.Table().rules, table.rules);
    }

    void escapeCancelsAndEnterPressesOk_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("match");  // of the one rule
        QTest::addColumn<bool>("editing");   // a cell's editor has the key
        QTest::addColumn<int>("result");     // -1: the dialog stays open
        QTest::newRow("Escape cancels") << int(Qt::Key_Escape) << "01" << false << int(QDialog::Rejected);
        QTest::newRow("Enter presses OK") << int(Qt::Key_Return) << "01" << false << int(QDialog::Accepted);
        QTest::newRow("Enter on a bad rule: OK refuses") << int(Qt::Key_Return) << "0G" << false << -1;
        QTest::newRow("Escape in a cell ends the edit only") << int(Qt::Key_Escape) << "01" << true << -1;
        QTest::newRow("Enter in a cell ends the edit only") << int(Qt::Key_Return) << "01" << true << -1;
    }
    void escapeCancelsAndEnterPressesOk()
    {
        QFETCH(int, key);
        QFETCH(QString, match);
        QFETCH(bool, editing);
        QFETCH(int, result);
        ScriptedPrompts prompts;
        CReplyRule rule;
        rule.match = match;
        rule.reply = QStringLiteral("02");
        CReplyRuleTable table;
        table.rules = {rule};
        CReplyRulesDlg dlg(table);
        dlg.show();
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(dlg.Grid()));
        if (editing) {
            dlg.Grid()->SetCursorRow(1);
            dlg.Grid()->SetCursorCol(CReplyRulesDlg::COL_REPLY);
            dlg.Grid()->edit(dlg.Grid()->currentIndex());
            QTRY_VERIFY(QApplication::focusWidget() != dlg.Grid());
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        QCOMPARE(dlg.isVisible(), result < 0);
        if (result >= 0)
            QCOMPARE(dlg.result(), result);
        QCOMPARE(prompts.MessageTexts().size(), match == QStringLiteral("0G") ? 1 : 0);
    }

    void gridEditingAddsDeletesMovesAndSteps()
    {
        ScriptedPrompts prompts;
        CReplyRulesDlg dlg({});
        dlg.show();
        CvsFlexGrid *grid = dlg.Grid();
        for (int i = 0; i < 3; ++i) {
            Click(dlg, CReplyRulesDlg::IDC_ADD);
            grid->SetCellText(i + 1, CReplyRulesDlg::COL_MATCH, QStringLiteral("0%1").arg(i + 1));
            grid->SetCellText(i + 1, CReplyRulesDlg::COL_REPLY, QStringLiteral("AA"));
        }
        QCOMPARE(grid->GetRowCount(), 4);
        grid->SetCursorRow(3);
        Click(dlg, CReplyRulesDlg::IDC_UP);
        QCOMPARE(grid->GetCursorRow(), 2);
        grid->SetCursorRow(1);
        Click(dlg, CReplyRulesDlg::IDC_DELETE);
        // Space on a column of choices steps through them.
        grid->SetCursorRow(1);
        grid->SetCursorCol(CReplyRulesDlg::COL_KIND);
        QTest::keyClick(grid, Qt::Key_Space);
        grid->SetCursorCol(CReplyRulesDlg::COL_ENABLED);
        QTest::keyClick(grid, Qt::Key_Space);
        grid->SetCursorRow(2);
        grid->SetCursorCol(CReplyRulesDlg::COL_REPLY_FORM);
        QTest::keyClick(grid, Qt::Key_Space);
        grid->SetCellText(2, CReplyRulesDlg::COL_REPLY, QStringLiteral("OK\\r"));
        // The checksum column steps through the catalogue's names, its options kept.
        grid->SetCellText(2, CReplyRulesDlg::COL_CHECKSUM, QStringLiteral("CRC-3/GSM:le"));
        grid->SetCursorCol(CReplyRulesDlg::COL_CHECKSUM);
        QTest::keyClick(grid, Qt::Key_Space);
        grid->SetCursorCol(CReplyRulesDlg::COL_WITHOUT_CHECKSUM);
        QTest::keyClick(grid, Qt::Key_Space);
        Click(dlg, CReplyRulesDlg::IDC_OK);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        const QList<CReplyRule> &rules = dlg.Table().rules;
        QCOMPARE(rules.size(), 2);
        QCOMPARE(rules[0].match, QStringLiteral("03"));
        QCOMPARE(rules[0].kind, int(CReplyRule::KindStartsWith));
        QVERIFY(!rules[0].enabled);
        QCOMPARE(rules[1].match, QStringLiteral("02"));
        QVERIFY(rules[1].replyText);
        QCOMPARE(rules[1].checksum, QStringLiteral("CRC-5/USB:le"));
        QVERIFY(rules[1].matchWithoutChecksum && !rules[0].matchWithoutChecksum);
        QVERIFY(prompts.MessageTexts().isEmpty());
        // The kinds step on to 定期送信 and round to 一致.
        grid->SetCellText(1, CReplyRulesDlg::COL_KIND, QStringLiteral("正規表現"));
        grid->SetCursorRow(1);
        grid->SetCursorCol(CReplyRulesDlg::COL_KIND);
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(grid->GetCellText(1, CReplyRulesDlg::COL_KIND), QStringLiteral("定期送信"));
        QTest::keyClick(grid, Qt::Key_Space);
        QCOMPARE(grid->GetCellText(1, CReplyRulesDlg::COL_KIND), QStringLiteral("一致"));
    }

    void csvExportThenImportGivesTheSameRules()
    {
        ScriptedPrompts prompts;
        CReplyRule rule;
        rule.kind = CReplyRule::KindContains;
        rule.matchText = true;
        rule.match = QStringLiteral("ｽﾃｰﾀｽ \"A\", B");  // a CSV cell holds no quote: written as \x22
        rule.reply = QStringLiteral("0D0A");
        rule.delay = 50;
        // A pattern with its groups in a reply of placeholders, and states: the two columns appended.
        CReplyRule device = PatternRule(QStringLiteral("^GET \"(\\w+)\""), QStringLiteral("ACK $1${wait:10}${seq:u8}"));
        device.state = QStringLiteral("READY");
        // A periodic rule: no match, its delay the period.
        CReplyRule periodic;
        periodic.kind = CReplyRule::KindPeriodic;
        periodic.reply = QStringLiteral("07");
        periodic.delay = 250;
        CReplyRuleTable table;
        table.rules = {rule, device, periodic};
        const QString path = SessionHarness::TempPath(QStringLiteral("rules.csv"));
        prompts.fileNames.enqueue(path);
        prompts.fileNames.enqueue(path);
        CReplyRulesDlg out(table);
        Click(out, CReplyRulesDlg::IDC_EXPORT);
        CReplyRulesDlg in({});
        Click(in, CReplyRulesDlg::IDC_IMPORT);
        Click(in, CReplyRulesDlg::IDC_OK);
        QCOMPARE(in.Table().rules.size(), 3);
        QCOMPARE(in.Table().rules[2], periodic);
        QCOMPARE(in.Table().rules[1].match, QStringLiteral("^GET \\x22(\\w+)\\x22"));  // the same pattern
        device.match = in.Table().rules[1].match;
        QCOMPARE(in.Table().rules[1], device);
        CReplyRule back = in.Table().rules[0];
        QByteArray sent, read;
        QVERIFY(CReplyRule::DecodeText(rule.match, &sent) && CReplyRule::DecodeText(back.match, &read));
        QCOMPARE(read, sent);
        back.match = rule.match;
        QCOMPARE(back, rule);
        QVERIFY(prompts.MessageTexts().isEmpty());

        // A file that does not hold rules: a message and the grid as it was.
        QFile other(path);
        QVERIFY(other.open(QIODevice::WriteOnly | QIODevice::Truncate));
        other.write("\"1\",\"HEX\",\"x\",\r\n");
        other.close();
        prompts.fileNames.enqueue(path);
        Click(in, CReplyRulesDlg::IDC_IMPORT);
        QCOMPARE(prompts.MessageTexts(), QStringList{path + QStringLiteral("\n1 行目: 項目が正しくありません。")});
        QCOMPARE(in.Grid()->GetRowCount(), 4);
        QFile::remove(path);
    }

    void trialShowsTheRuleAndItsReply_data()
    {
        QTest::addColumn<int>("form");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a pattern's group, timed parts") << 1 << "GET temp" << "ﾙｰﾙ 2 → 41434B2074656D70 / 200ms後 01  (状態 → BUSY)";
        QTest::newRow("?? in hex") << 0 << "01 7F 03" << "ﾙｰﾙ 1 → 067F";
        QTest::newRow("none holds") << 1 << "SET" << "応答するﾙｰﾙはありません (ﾙｰﾌﾟﾊﾞｯｸ ONならｴｺｰします)。";
        QTest::newRow("not hex") << 0 << "0G" << "試験の電文が正しくありません。";
    }
    void trialShowsTheRuleAndItsReply()
    {
        QFETCH(int, form);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        CReplyRule wildcard;
        wildcard.match = QStringLiteral("01 ?? 03");
        wildcard.replyPlaceholders = true;
        wildcard.reply = QStringLiteral("06 $1");
        const CReplyRule pattern = PatternRule(QStringLiteral("^GET (\\w+)$"), QStringLiteral("ACK $1${wait:200}\\x01"));
        CReplyRule periodic;  // answers no block, and stops no trial
        periodic.kind = CReplyRule::KindPeriodic;
        periodic.reply = QStringLiteral("07");
        periodic.delay = 1000;
        CReplyRuleTable table;
        table.rules = {wildcard, pattern, periodic};
        CReplyRulesDlg dlg(table);
        qobject_cast<QComboBox *>(dlg.GetDlgItem(CReplyRulesDlg::IDC_TRIAL_FORM))->setCurrentIndex(form);
        qobject_cast<QLineEdit *>(dlg.GetDlgItem(CReplyRulesDlg::IDC_TRIAL))->setText(typed);
        QCOMPARE(qobject_cast<QLabel *>(dlg.GetDlgItem(CReplyRulesDlg::IDC_TRIAL_RESULT))->text(), shown);
    }

    void importCountsRulesNotLines_data()
    {
        QTest::addColumn<int>("rules");
        QTest::addColumn<QString>("message");
        QTest::newRow("64 rules, blank lines between") << 64 << QString();
        QTest::newRow("65 rules") << 65 << QStringLiteral("\n131 行目: 応答ﾙｰﾙは 64 件までです。");
    }
    void importCountsRulesNotLines()
    {
        QFETCH(int, rules);
        QFETCH(QString, message);
        ScriptedPrompts prompts;
        CReplyRule rule;
        CReplyRuleTable table;
        rule.match = QStringLiteral("01");
        rule.reply = QStringLiteral("06");
        table.rules.fill(rule, rules);
        // The longest reply a rule takes, as hex text: a line of over 6 MB.
        table.rules[0].reply = QStringLiteral("41 ").repeated(QN_BUFFER_SIZE).trimmed();
        QVERIFY(table.rules[0].Check().isEmpty());
        // Each line ends twice: a blank line follows every one.
        QByteArray file;
        for (const QByteArray &line : table.ToCsv())
            file += line + "\r\n";
        const QString path = SessionHarness::TempPath(QStringLiteral("rules.csv"));
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(file) == file.size());
        out.close();
        prompts.fileNames.enqueue(path);
        CReplyRulesDlg in({});
        Click(in, CReplyRulesDlg::IDC_IMPORT);
        QCOMPARE(prompts.MessageTexts(), message.isEmpty() ? QStringList() : QStringList{path + message});
        if (message.isEmpty()) {
            Click(in, CReplyRulesDlg::IDC_OK);
            QCOMPARE(in.Table().rules, table.rules);
        }
        QFile::remove(path);
    }

    // Saves a picture of the dialog when QN_SCREENSHOT names a file (looked at by hand).
    void screenshot()
    {
        const QString file = qEnvironmentVariable("QN_SCREENSHOT");
        if (file.isEmpty())
            QSKIP("QN_SCREENSHOT not set");
        CReplyRuleTable table;
        table.use = true;
        CReplyRule a;
        a.kind = CReplyRule::KindContains;
        a.matchText = a.replyText = true;
        a.match = QStringLiteral("STATUS?");
        a.reply = QStringLiteral("ACK\\r\\n");
        CReplyRule b;
        b.match = QStringLiteral("02 31 03");
        b.reply = QStringLiteral("06");
        b.delay = 500;
        b.checksum = QStringLiteral("CRC-16/MODBUS:le");
        table.rules = {a, b};
        CReplyRulesDlg dlg(table);
        dlg.show();
        dlg.Grid()->SetCellText(2, CReplyRulesDlg::COL_MATCH, QStringLiteral("02 3G 03"));
        ScriptedPrompts prompts;
        Click(dlg, CReplyRulesDlg::IDC_OK);
        QVERIFY(dlg.grab().save(file));
    }
};

QTEST_MAIN(TestReplyRulesDlg)
#include "tst_replyrulesdlg.moc"
