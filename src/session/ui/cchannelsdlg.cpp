#include "session/ui/cchannelsdlg.h"

#include "batch/csvfile.h"
#include "display/cchecksumcheck.h"
#include "platform/prompts.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const CChannel &Example()
{
    static const CChannel example = [] {
        CChannel c;
        c.name = QStringLiteral("値");
        c.pattern = QStringLiteral("=([-0-9.]+)");
        return c;
    }();
    return example;
}

}  // namespace

CChannelsDlg::CChannelsDlg(const CChannelTable &table, QWidget *parent) : QDialog(parent), m_table(table)
{
    setWindowTitle(QStringLiteral("ﾁｬﾝﾈﾙ"));
    auto *layout = new QVBoxLayout(this);
    m_pGrid = new QTableWidget(0, CChannelTable::kColumns, this);
    m_pGrid->setHorizontalHeaderLabels(CChannelTable::Header());
    m_pGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(m_pGrid, 1);

    auto *checksum = new QHBoxLayout;
    checksum->addWidget(new QLabel(QStringLiteral("受信電文のﾁｪｯｸｻﾑ (一致しない電文は読みません)"), this));
    m_pChecksum = new QLineEdit(this);
    m_pChecksum->setPlaceholderText(QStringLiteral("例: CRC-16/MODBUS:le (空: 確認しない)"));
    checksum->addWidget(m_pChecksum, 1);
    layout->addLayout(checksum);

    auto *buttons = new QHBoxLayout;
    auto *add = new QPushButton(QStringLiteral("追加"), this);
    auto *remove = new QPushButton(QStringLiteral("削除"), this);
    auto *import = new QPushButton(QStringLiteral("CSV読込..."), this);
    auto *exportCsv = new QPushButton(QStringLiteral("CSV書出し..."), this);
    for (QPushButton *button : {add, remove, import, exportCsv})
        buttons->addWidget(button);
    buttons->addStretch(1);
    auto *box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
    buttons->addWidget(box);
    layout->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, [this] { AddRow(CChannelTable::Cells(Example())); });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_pGrid->currentRow() >= 0)
            m_pGrid->removeRow(m_pGrid->currentRow());
    });
    const auto ask = [this](bool open) {
        Prompts::FileRequest request;
        request.open = open;
        request.filter = QStringLiteral("CSVﾌｧｲﾙ (*.csv)|*.csv|全てのﾌｧｲﾙ (*.*)|*.*||");
        request.defaultExtension = QStringLiteral("csv");
        request.overwritePrompt = !open;
        request.kind = QStringLiteral("csv");
        return Prompts::AskFileName(this, request);
    };
    connect(import, &QPushButton::clicked, this, [this, ask] {
        const QString path = ask(true);
        QString error;
        if (!path.isEmpty() && !Import(path, &error))
            Prompts::Instance().MessageBox(this, error, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
    });
    connect(exportCsv, &QPushButton::clicked, this, [this, ask] {
        QString error;
        if (!Check(&error)) {
            Prompts::Instance().MessageBox(this, error, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
            return;
        }
        const QString path = ask(false);
        if (!path.isEmpty() && !Export(path, &error))
            Prompts::Instance().MessageBox(this, error, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
    });
    connect(box, &QDialogButtonBox::accepted, this, &CChannelsDlg::accept);
    connect(box, &QDialogButtonBox::rejected, this, &CChannelsDlg::reject);
    Show(table);
    resize(980, 360);
}

void CChannelsDlg::AddRow(const QStringList &cells)
{
    const int row = m_pGrid->rowCount();
    m_pGrid->insertRow(row);
    for (int c = 0; c < CChannelTable::kColumns; ++c)
        m_pGrid->setItem(row, c, new QTableWidgetItem(cells.value(c)));
}

void CChannelsDlg::Show(const CChannelTable &table)
{
    m_pGrid->setRowCount(0);
    for (const CChannel &channel : table.channels)
        AddRow(CChannelTable::Cells(channel));
    m_pChecksum->setText(table.checksum);
}

bool CChannelsDlg::Check(QString *error)
{
    CChannelTable table;
    table.checksum = m_pChecksum->text().trimmed();
    if (!table.checksum.isEmpty()) {
        QString why;
        if (!CChecksumCheck::Create(table.checksum, &why)) {
            *error = QStringLiteral("ﾁｪｯｸｻﾑ: ") + why;
            m_pChecksum->setFocus();
            return false;
        }
    }
    for (int row = 0; row < m_pGrid->rowCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < CChannelTable::kColumns; ++c)
            cells << (m_pGrid->item(row, c) ? m_pGrid->item(row, c)->text() : QString());
        CChannel channel;
        int column = 0;
        QString why;
        if (!CChannelTable::FromCells(cells, &channel, &column, &why)) {
            *error = QStringLiteral("%1 行目 %2 列目 (%3): %4").arg(row + 1).arg(column).arg(CChannelTable::Header().value(column - 1), why);
            m_pGrid->setCurrentCell(row, std::max(0, column - 1));
            return false;
        }
        table.channels << channel;
    }
    if (table.channels.size() > CChannelTable::kMaxChannels) {
        *error = QStringLiteral("ﾁｬﾝﾈﾙは %1 個までです。").arg(CChannelTable::kMaxChannels);
        return false;
    }
    m_table = table;
    return true;
}

bool CChannelsDlg::Import(const QString &path, QString *error)
{
    bool opened = false;
    const QList<QByteArray> lines = ReadTextLines(path, CChannelTable::kMaxChannels + 2, &opened);
    if (!opened) {
        *error = path + QStringLiteral("\nﾌｧｲﾙを開けません。");
        return false;
    }
    QList<CChannel> channels;
    QString why;
    if (!CChannelTable::FromCsv(lines, &channels, &why)) {
        *error = path + QLatin1Char('\n') + why;
        return false;
    }
    CChannelTable table;
    table.channels = channels;
    table.checksum = m_pChecksum->text().trimmed();
    Show(table);
    return true;
}

bool CChannelsDlg::Export(const QString &path, QString *error)
{
    return WriteCsvFile(path, m_table.ToCsv(), error);
}

void CChannelsDlg::accept()
{
    QString error;
    if (!Check(&error)) {
        Prompts::Instance().MessageBox(this, error, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        return;
    }
    QDialog::accept();
}
