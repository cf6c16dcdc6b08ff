#include "session/ui/ccommandseditdlg.h"

#include "platform/chexconv.h"
#include "platform/prompts.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

CCommandsEditDlg::CCommandsEditDlg(const CCommandsFile &commands, QWidget *parent)
    : QDialog(parent), m_commands(commands), m_pGrid(new QTableWidget(this))
{
    setWindowTitle(QStringLiteral("ｺﾏﾝﾄﾞ一覧の編集"));
    QStringList header = commands.Header();
    if (header.isEmpty())
        header = QString::fromLatin1(CCommandsFile::kHeader).split(QLatin1Char(','));
    // The line end after a text send: a column of its own, written to the file once a row has one.
    if (CCommandsFile::EolColumn(header) < 0)
        header.append(QStringLiteral("eol"));
    const QList<QStringList> rows = commands.Rows();
    m_pGrid->setColumnCount(int(header.size()));
    m_pGrid->setHorizontalHeaderLabels(header);
    m_pGrid->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < header.size(); ++c)
            m_pGrid->setItem(r, c, new QTableWidgetItem(rows[r].value(c)));
    }
    m_pGrid->horizontalHeader()->setStretchLastSection(true);

    auto *add = new QPushButton(QStringLiteral("行追加"), this);
    auto *remove = new QPushButton(QStringLiteral("行削除"), this);
    auto *test = new QPushButton(QStringLiteral("試験"), this);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
    auto *row = new QHBoxLayout;
    row->addWidget(add);
    row->addWidget(remove);
    row->addWidget(test);
    row->addStretch(1);
    row->addWidget(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_pGrid, 1);
    layout->addLayout(row);
    resize(760, 360);

    connect(add, &QPushButton::clicked, this, [this] {
        const int at = m_pGrid->currentRow() < 0 ? m_pGrid->rowCount() : m_pGrid->currentRow() + 1;
        m_pGrid->insertRow(at);
        // A new row continues the sequence above it.
        const QString name = at > 0 && m_pGrid->item(at - 1, 0) ? m_pGrid->item(at - 1, 0)->text() : QString();
        for (int c = 0; c < m_pGrid->columnCount(); ++c)
            m_pGrid->setItem(at, c, new QTableWidgetItem(c == 0 ? name : QString()));
        m_pGrid->setCurrentCell(at, 0);
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_pGrid->currentRow() >= 0)
            m_pGrid->removeRow(m_pGrid->currentRow());
    });
    connect(test, &QPushButton::clicked, this, [this] {
        if (m_pGrid->currentRow() >= 0)
            Prompts::Instance().MessageBox(this, TestText(m_pGrid->currentRow()), QStringLiteral("試験"), Prompts::Ok,
                                           Prompts::Information);
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &CCommandsEditDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CCommandsEditDlg::reject);
}

QList<QStringList> CCommandsEditDlg::GridRows() const
{
    QList<QStringList> rows;
    for (int r = 0; r < m_pGrid->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m_pGrid->columnCount(); ++c)
            cells << (m_pGrid->item(r, c) ? m_pGrid->item(r, c)->text() : QString());
        rows << cells;
    }
    return rows;
}

QString CCommandsEditDlg::TestText(int row) const
{
    const QStringList cells = GridRows().value(row);
    CCommandStep step;
    QString why;
    int column = 0;
    QStringList header;
    for (int c = 0; c < m_pGrid->columnCount(); ++c)
        header << m_pGrid->horizontalHeaderItem(c)->text();
    if (!CCommandStep::Compile(cells, &step, &why, &column, nullptr, CCommandsFile::EolColumn(header)))
        return QStringLiteral("%1列目 (%2): %3").arg(column + 1).arg(m_pGrid->horizontalHeaderItem(column)->text(), why);
    if (step.action != CCommandStep::Send)
        return step.Describe();
    QList<CReplyTemplate::Part> parts;
    CReplyTemplate::Context context;  // the first run, nothing received yet
    if (!step.Telegram(context, &parts, &why))
        return why;
    QStringList lines;
    for (const CReplyTemplate::Part &part : parts) {
        QString hex;
        CHexConv().Bin2HexString(reinterpret_cast<const unsigned char *>(part.bytes.constData()), int(part.bytes.size()), hex,
                                 int(part.bytes.size()));
        lines << (part.waitMs > 0 ? QStringLiteral("(%1ms後) ").arg(part.waitMs) : QString()) + hex +
                     QStringLiteral(" (%1 ﾊﾞｲﾄ)").arg(part.bytes.size());
    }
    return lines.join(QLatin1Char('\n'));
}

void CCommandsEditDlg::accept()
{
    QString error;
    if (!m_commands.SetRows(GridRows(), &error)) {
        Prompts::Instance().MessageBox(this, error, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        return;
    }
    QDialog::accept();
}
