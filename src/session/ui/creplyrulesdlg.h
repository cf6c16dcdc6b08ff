// The modal dialog "応答ﾙｰﾙ設定": the switch and the ordered reply rules (with their checksums and
// states) in a grid, with add, delete, move, CSV import and export, a check of every rule before OK
// closes it, and a 試験 field that shows which rule answers a typed block and with what.
#pragma once

#include "session/creplyruletable.h"

#include <QDialog>

class CvsFlexGrid;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CReplyRulesDlg : public QDialog
{
    Q_OBJECT
public:
    // Control ids.
    static constexpr int IDC_USE = 1201;
    static constexpr int IDC_GRID = 1202;
    static constexpr int IDC_OK = 1203;
    static constexpr int IDC_CANCEL = 1204;
    static constexpr int IDC_ADD = 1205;
    static constexpr int IDC_DELETE = 1206;
    static constexpr int IDC_UP = 1207;
    static constexpr int IDC_DOWN = 1208;
    static constexpr int IDC_IMPORT = 1209;
    static constexpr int IDC_EXPORT = 1210;
    static constexpr int IDC_TRIAL_FORM = 1211;
    static constexpr int IDC_TRIAL = 1212;
    static constexpr int IDC_TRIAL_RESULT = 1213;

    // Grid columns (column 0 holds the rule numbers).
    enum Column {
        COL_ENABLED = 1,
        COL_MATCH_FORM,
        COL_KIND,
        COL_MATCH,
        COL_REPLY_FORM,
        COL_REPLY,
        COL_DELAY,
        COL_CHECKSUM,
        COL_WITHOUT_CHECKSUM,
        COL_STATE,
        COL_NEXT_STATE,
        COL_LAST = COL_NEXT_STATE
    };

    CReplyRulesDlg(const CReplyRuleTable &table, QWidget *parent = nullptr);

    QWidget *GetDlgItem(int id) const;
    CvsFlexGrid *Grid() const { return m_pGrid; }
    // The table as accepted by OK.
    const CReplyRuleTable &Table() const { return m_table; }

    // OK: every rule checked; the first failing cell is marked and named, and the dialog stays.
    void OnOK();
    void OnAdd();
    void OnDelete();
    void OnMove(int step);
    void OnImport();
    void OnExport();
    // Shows which rule answers the 試験 block and the reply it would send, as the session would.
    void OnTrial();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    int RuleCount() const;
    void ShowRules(const QList<CReplyRule> &rules);
    void ShowRule(int row, const CReplyRule &rule);
    // The rules as the grid shows them; false (with the cell marked and the message shown) at the
    // first rule that cannot be used.
    // `quiet`: nothing marked or shown; the reason is left in `error`.
    bool ReadRules(QList<CReplyRule> *rules, bool quiet = false, QString *error = nullptr);
    void Message(const QString &text);
    // Space on a column of choices steps to the next choice (on the checksum column, to the next
    // name of the catalogue, the options kept).
    void OnGridKeyDown(short *keyCode, short shift);

    CReplyRuleTable m_table;
    QCheckBox *m_pUse;
    CvsFlexGrid *m_pGrid;
    QPushButton *m_pOk;
    QPushButton *m_pCancel;
    QPushButton *m_pAdd;
    QPushButton *m_pDelete;
    QPushButton *m_pUp;
    QPushButton *m_pDown;
    QPushButton *m_pImport;
    QPushButton *m_pExport;
    QComboBox *m_pTrialForm;
    QLineEdit *m_pTrial;
    QLabel *m_pTrialResult;
};
