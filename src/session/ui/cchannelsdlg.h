// The "ﾁｬﾝﾈﾙ" dialog: the channel table as a grid of the CSV's columns, the checksum rule received
// telegrams must pass, and CSV import and export. OK takes the table only when every line holds.
#pragma once

#include "session/cchanneltable.h"

#include <QDialog>

class QLineEdit;
class QTableWidget;

class CChannelsDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CChannelsDlg(const CChannelTable &table, QWidget *parent = nullptr);

    // The table as edited (valid after a successful Check).
    CChannelTable Table() const { return m_table; }
    QTableWidget *Grid() const { return m_pGrid; }
    QLineEdit *ChecksumEdit() const { return m_pChecksum; }
    // Reads the grid; false with "3 行目 13 列目 (型): …" in `error` and that cell made current.
    bool Check(QString *error);
    // Fills the grid from the table.
    void Show(const CChannelTable &table);
    bool Import(const QString &path, QString *error);
    bool Export(const QString &path, QString *error);

    void accept() override;

private:
    void AddRow(const QStringList &cells);

    QTableWidget *m_pGrid = nullptr;
    QLineEdit *m_pChecksum = nullptr;
    CChannelTable m_table;
};
