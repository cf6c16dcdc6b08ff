// The commands file's editor: a grid of its rows (the file's columns, unknown ones included), rows
// added and removed, "試験" showing the bytes of the selected step, and OK only for rows the file takes.
#pragma once

#include "session/ccommandsfile.h"

#include <QDialog>

class QTableWidget;

class CCommandsEditDlg : public QDialog
{
    Q_OBJECT
public:
    CCommandsEditDlg(const CCommandsFile &commands, QWidget *parent = nullptr);

    const CCommandsFile &Commands() const { return m_commands; }
    QTableWidget *Grid() const { return m_pGrid; }
    // The grid's rows, every cell as shown.
    QList<QStringList> GridRows() const;
    // What "試験" says of row `row` (0-based): its bytes in hex for a send, else what it does.
    QString TestText(int row) const;

    void accept() override;

private:
    CCommandsFile m_commands;
    QTableWidget *m_pGrid;
};
