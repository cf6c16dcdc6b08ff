// The modal dialog that edits the prompt strings and the ignore flag that pace a batch send.
#pragma once

#include <QDialog>

class CvsFlexGrid;
class QCheckBox;
class QLabel;
class QPushButton;

class CPromptSettingDlg : public QDialog
{
    Q_OBJECT
public:
    // Template and control ids.
    static constexpr int IDD = 153;
    static constexpr int IDC_GRID = 1021;
    static constexpr int IDC_OK = 1022;
    static constexpr int IDC_CANCEL = 1023;
    static constexpr int IDC_DEFAULTS = 3;
    static constexpr int IDC_IGNORE = 1024;

    // Builds the dialog and fills it from the store.
    explicit CPromptSettingDlg(QWidget *parent = nullptr);

    // The control with a template id, nullptr for an unknown id.
    QWidget *GetDlgItem(int id) const;
    CvsFlexGrid *Grid() const { return m_pGrid; }
    QCheckBox *IgnoreBox() const { return m_pIgnore; }

    // OK: writes the ten strings and the flag, then closes with Accepted.
    void OnOK();
    // Cancel: closes with Rejected and writes nothing.
    void OnCancel();
    // Puts the default strings into the grid and clears the box; nothing is written.
    void OnDefaults();

protected:
    // Enter and Escape do nothing: only the buttons close the dialog.
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void SetUpGrid();
    void LoadValues();
    // Delete empties the current cell, Ctrl+C copies it, Ctrl+V replaces it with the clipboard's text.
    void OnGridKeyDown(short *keyCode, short shift);

    CvsFlexGrid *m_pGrid;
    QCheckBox *m_pIgnore;
    QLabel *m_pIgnoreText;
    QPushButton *m_pOk;
    QPushButton *m_pCancel;
    QPushButton *m_pDefaults;
};
