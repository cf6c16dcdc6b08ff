// The prompt-judgement settings dialog: what it shows, what OK, Cancel and the defaults write.
#include "batch/ui/cpromptsettingdlg.h"
#include "batch/cregkey.h"
#include "batch/ui/cvsflexgrid.h"
#include "batch/ui/gridediting.h"
#include "batch/promptjudge.h"
#include "platform/cinifile.h"
#include "platform/ui/uifonts.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const QString kKey = QString::fromUtf8(kPromptKey);

QStringList Rows(const CPromptSettingDlg &dlg)
{
    QStringList rows;
    for (int k = 1; k <= kPromptCount; ++k)
        rows.append(dlg.Grid()->GetCellText(k, 0));
    return rows;
}

QStringList Stored()
{
    QStringList values;
    for (int k = 1; k <= kPromptCount; ++k)
        values.append(RegReadString(kKey, PromptValueName(k), QStringLiteral("<missing>")));
    return values;
}

QByteArray StoreBytes()
{
    QFile file(CIniFile::StorePath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Click(CPromptSettingDlg &dlg, int id)
{
    auto *button = qobject_cast<QPushButton *>(dlg.GetDlgItem(id));
    QVERIFY(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

const QStringList kStale{"a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9", "a10"};

void StoreStale()
{
    for (int k = 1; k <= kPromptCount; ++k)
        RegWriteString(kKey, PromptValueName(k), kStale[k - 1]);
    RegWriteDword(kKey, QString::fromUtf8(kPromptIgnoreName), 1);
}

}  // namespace

class TestPromptSettingDlg : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }
    void init() { QFile::remove(CIniFile::StorePath()); }

    void aFreshStoreShowsTenEmptyRowsAndAnUncheckedBox()
    {
        CPromptSettingDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("ﾌﾟﾛﾝﾌﾟﾄ判定設定"));
        QCOMPARE(dlg.Grid()->GetRowCount(), 11);
        QCOMPARE(dlg.Grid()->GetColCount(), 1);
        QCOMPARE(dlg.Grid()->GetFixedColCount(), 0);
        QCOMPARE(dlg.Grid()->GetCellText(0, 0), QStringLiteral("ﾌﾟﾛﾝﾌﾟﾄ判定文字列"));
        QCOMPARE(Rows(dlg), QStringList(10, QString()));
        QVERIFY(!dlg.IgnoreBox()->isChecked());
        QCOMPARE(dlg.GetDlgItem(CPromptSettingDlg::IDC_GRID), static_cast<QWidget *>(dlg.Grid()));
    }

    void storedValuesAreShown()
    {
        StoreStale();
        CPromptSettingDlg dlg;
        QCOMPARE(Rows(dlg), kStale);
        QVERIFY(dlg.IgnoreBox()->isChecked());
    }

    void defaultsThenCancelWritesNothing()
    {
        StoreStale();
        const QByteArray before = StoreBytes();
        CPromptSettingDlg dlg;
        dlg.show();
        Click(dlg, CPromptSettingDlg::IDC_DEFAULTS);
        QCOMPARE(Rows(dlg), DefaultPromptStrings());
        QCOMPARE(Rows(dlg).mid(0, 5), (QStringList{"> ", ">", "# ", "#", ": "}));
        QVERIFY(!dlg.IgnoreBox()->isChecked());
        Click(dlg, CPromptSettingDlg::IDC_CANCEL);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QVERIFY(dlg.isHidden());
        QCOMPARE(StoreBytes(), before);
    }

    void okWithEmptyRowsOverwritesStaleValues()
    {
        StoreStale();
        CPromptSettingDlg dlg;
        dlg.show();
        CvsFlexGrid *grid = dlg.Grid();
        // Delete empties the current cell at once; the store changes only on OK.
        for (int row = 6; row <= 10; ++row) {
            grid->SetCursorRow(row);
            QTest::keyClick(grid, Qt::Key_Delete);
            QCOMPARE(grid->GetCellText(row, 0), QString());
        }
        QCOMPARE(Stored(), kStale);
        QTest::mouseClick(dlg.IgnoreBox(), Qt::LeftButton);
        QVERIFY(!dlg.IgnoreBox()->isChecked());
        Click(dlg, CPromptSettingDlg::IDC_OK);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(Stored(), kStale.mid(0, 5) + QStringList(5, QString()));
        QCOMPARE(RegReadDword(kKey, QString::fromUtf8(kPromptIgnoreName), 7), 0u);
    }

    void okKeepsAnEditInProgress()
    {
        CPromptSettingDlg dlg;
        dlg.show();
        CvsFlexGrid *grid = dlg.Grid();
        grid->SetCursorRow(2);
        QTest::keyClick(grid, Qt::Key_Dollar);
        QVERIFY(grid->indexWidget(grid->currentIndex()));
        QTest::keyClick(grid->indexWidget(grid->currentIndex()), Qt::Key_Space);
        dlg.OnOK();
        QCOMPARE(RegReadString(kKey, PromptValueName(2), QString()), QStringLiteral("$ "));
    }

    void gridKeysUseTheClipboard()
    {
        CPromptSettingDlg dlg;
        dlg.show();
        CvsFlexGrid *grid = dlg.Grid();
        grid->SetCellText(1, 0, QStringLiteral("login: "));
        QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(GetClipboardText(), QStringLiteral("login: "));
        grid->SetCursorRow(4);
        QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(grid->GetCellText(4, 0), QStringLiteral("login: "));
        QVERIFY(!grid->indexWidget(grid->currentIndex()));
        SetClipboardText(QString());
        QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(grid->GetCellText(4, 0), QString());
    }

    void enterAndEscapeDoNothing()
    {
        CPromptSettingDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        for (QWidget *target : {static_cast<QWidget *>(&dlg), static_cast<QWidget *>(dlg.Grid()),
                                dlg.GetDlgItem(CPromptSettingDlg::IDC_OK)}) {
            QTest::keyClick(target, Qt::Key_Escape);
            QTest::keyClick(target, Qt::Key_Return);
            QTest::keyClick(target, Qt::Key_Enter);
        }
        QVERIFY(dlg.isVisible());
        QVERIFY(StoreBytes().isEmpty());
    }

    void clickingTheBoxTextTogglesIt()
    {
        CPromptSettingDlg dlg;
        dlg.show();
        QLabel *text = nullptr;
        for (QLabel *label : dlg.findChildren<QLabel *>()) {
            if (label->text().startsWith(QStringLiteral("指定文字列は無視")))
                text = label;
        }
        QVERIFY(text);
        QTest::mouseClick(text, Qt::LeftButton);
        QVERIFY(dlg.IgnoreBox()->isChecked());
        QTest::mouseClick(text, Qt::LeftButton);
        QVERIFY(!dlg.IgnoreBox()->isChecked());
    }

    void runsModallyUntilAButtonIsPressed()
    {
        CPromptSettingDlg dlg;
        QTimer::singleShot(0, &dlg, [&dlg] {
            dlg.OnDefaults();
            Click(dlg, CPromptSettingDlg::IDC_OK);
        });
        QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        QCOMPARE(Stored(), DefaultPromptStrings());
        QCOMPARE(JudgePromptBlock("Password: ", 10), 1);
        QCOMPARE(JudgePromptBlock("Password:", 9), 0);
    }
};

QTEST_MAIN(TestPromptSettingDlg)
#include "tst_promptsettingdlg.moc"
