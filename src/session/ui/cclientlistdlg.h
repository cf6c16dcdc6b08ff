// The "ｸﾗｲｱﾝﾄ一覧" window of a server of many clients: each client's number, address, bytes each way
// and bytes waiting, found by typing part of its number or address, and a button that closes the
// chosen client's connection. Opened from Command Send; it reads the endpoint once a second while shown.
#pragma once

#include "net/cendpoint.h"

#include <QDialog>
#include <QTimer>

#include <functional>

class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

class CClientListDlg : public QDialog
{
    Q_OBJECT
public:
    // `read` gives the clients there now, `drop` closes one by its number.
    CClientListDlg(QWidget *parent, std::function<QList<CEndpoint::PeerSummary>()> read, std::function<void(int)> drop);
    ~CClientListDlg() override;

    // Reads the clients again (the timer's work; tests call it directly).
    void Refresh();
    // The rows shown now, after the search.
    int ShownRows() const;
    // The client of a shown row, and a cell's text.
    int NumberAt(int row) const;
    QString TextAt(int row, int column) const;
    QLineEdit *Search() const { return m_pSearch; }
    QPushButton *DropButton() const { return m_pDrop; }
    QTableView *Table() const { return m_pTable; }

    static constexpr int kRefreshMs = 1000;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    class Model;
    void DropChosen();

    std::function<QList<CEndpoint::PeerSummary>()> m_fnRead;
    std::function<void(int)> m_fnDrop;
    Model *m_pModel;
    QSortFilterProxyModel *m_pFilter;
    QTableView *m_pTable;
    QLineEdit *m_pSearch;
    QPushButton *m_pDrop;
    QTimer m_timer;
};
