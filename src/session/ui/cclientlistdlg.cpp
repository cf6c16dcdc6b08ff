#include "session/ui/cclientlistdlg.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

// The clients as read last, one row each; a read that brings the same clients only changes figures.
class CClientListDlg::Model : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    void Set(QList<CEndpoint::PeerSummary> clients)
    {
        const bool same = std::equal(clients.begin(), clients.end(), m_clients.begin(), m_clients.end(),
                                     [](const auto &a, const auto &b) { return a.number == b.number; });
        if (!same)
            beginResetModel();
        m_clients = std::move(clients);
        if (!same)
            endResetModel();
        else if (!m_clients.isEmpty())
            Q_EMIT dataChanged(index(0, kIn), index(rowCount() - 1, kQueued));
    }

    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_clients.size()); }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : kColumns; }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::UserRole && role != Qt::TextAlignmentRole))
            return {};
        const CEndpoint::PeerSummary &client = m_clients[index.row()];
        if (role == Qt::TextAlignmentRole)
            return index.column() >= kIn ? int(Qt::AlignRight | Qt::AlignVCenter) : int(Qt::AlignLeft | Qt::AlignVCenter);
        switch (index.column()) {
        case kNumber:
            return role == Qt::UserRole ? QVariant(client.number) : QVariant(QStringLiteral("#%1").arg(client.number));
        case kAddress: return client.address;
        case kIn: return client.bytesIn;
        case kOut: return client.bytesOut;
        default: return client.queued;
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const char *const kHeads[kColumns] = {"番号", "ｱﾄﾞﾚｽ", "受信ﾊﾞｲﾄ", "送信ﾊﾞｲﾄ", "送信待ちﾊﾞｲﾄ"};
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns)
            return QAbstractTableModel::headerData(section, orientation, role);
        return QString::fromUtf8(kHeads[section]);
    }

    enum Column { kNumber, kAddress, kIn, kOut, kQueued, kColumns };

private:
    QList<CEndpoint::PeerSummary> m_clients;
};

CClientListDlg::CClientListDlg(QWidget *parent, std::function<QList<CEndpoint::PeerSummary>()> read,
                               std::function<void(int)> drop)
    : QDialog(parent), m_fnRead(std::move(read)), m_fnDrop(std::move(drop)), m_pModel(new Model(this)),
      m_pFilter(new QSortFilterProxyModel(this)), m_pTable(new QTableView), m_pSearch(new QLineEdit),
      m_pDrop(new QPushButton(QStringLiteral("切断(&D)")))
{
    setWindowTitle(QStringLiteral("ｸﾗｲｱﾝﾄ一覧"));
    m_pFilter->setSourceModel(m_pModel);
    m_pFilter->setFilterKeyColumn(-1);  // the number, the address, or any figure
    m_pFilter->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_pFilter->setSortRole(Qt::UserRole);
    m_pTable->setModel(m_pFilter);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSortingEnabled(true);
    m_pTable->sortByColumn(Model::kNumber, Qt::AscendingOrder);
    m_pTable->verticalHeader()->hide();
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pSearch->setPlaceholderText(QStringLiteral("番号・ｱﾄﾞﾚｽで検索"));
    m_pSearch->setClearButtonEnabled(true);
    m_pSearch->setAccessibleName(QStringLiteral("検索"));
    connect(m_pSearch, &QLineEdit::textChanged, m_pFilter, &QSortFilterProxyModel::setFilterFixedString);
    m_pDrop->setToolTip(QStringLiteral("選んだｸﾗｲｱﾝﾄの接続を閉じます (送信待ちのﾊﾞｲﾄは捨てます)"));
    m_pDrop->setEnabled(false);
    connect(m_pDrop, &QPushButton::clicked, this, &CClientListDlg::DropChosen);
    connect(m_pTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_pDrop->setEnabled(m_pTable->selectionModel()->hasSelection()); });
    auto *close = new QPushButton(QStringLiteral("閉じる"));
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_pDrop);
    buttons->addStretch();
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pSearch);
    layout->addWidget(m_pTable);
    layout->addLayout(buttons);
    resize(520, 360);
    m_timer.setInterval(kRefreshMs);
    connect(&m_timer, &QTimer::timeout, this, &CClientListDlg::Refresh);
}

CClientListDlg::~CClientListDlg() = default;

void CClientListDlg::Refresh()
{
    // The chosen client stays chosen while it is there.
    const QModelIndexList chosen = m_pTable->selectionModel()->selectedRows();
    const int number = chosen.isEmpty() ? 0 : NumberAt(chosen.first().row());
    m_pModel->Set(m_fnRead ? m_fnRead() : QList<CEndpoint::PeerSummary>());
    if (number == 0 || (!chosen.isEmpty() && NumberAt(chosen.first().row()) == number))
        return;
    for (int row = 0; row < ShownRows(); ++row) {
        if (NumberAt(row) == number) {
            m_pTable->selectRow(row);
            return;
        }
    }
}

int CClientListDlg::ShownRows() const
{
    return m_pFilter->rowCount();
}

int CClientListDlg::NumberAt(int row) const
{
    return m_pFilter->index(row, Model::kNumber).data(Qt::UserRole).toInt();
}

QString CClientListDlg::TextAt(int row, int column) const
{
    return m_pFilter->index(row, column).data().toString();
}

void CClientListDlg::DropChosen()
{
    const QModelIndexList chosen = m_pTable->selectionModel()->selectedRows();
    if (chosen.isEmpty() || !m_fnDrop)
        return;
    m_fnDrop(NumberAt(chosen.first().row()));
    Refresh();
}

void CClientListDlg::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    Refresh();
    m_timer.start();
}

void CClientListDlg::hideEvent(QHideEvent *event)
{
    m_timer.stop();
    QDialog::hideEvent(event);
}
