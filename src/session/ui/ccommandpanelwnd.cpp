#include "session/ui/ccommandpanelwnd.h"

#include "platform/prompts.h"
#include "platform/wholefile.h"
#include "session/ui/ccommandseditdlg.h"

#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr int kButtonColumns = 4;
const char *const kFailedStyle = "color: #C00000; font-weight: bold;";
const char *const kRunningStyle = "color: #0050C0; font-weight: bold;";

}  // namespace

CCommandPanelWnd::CCommandPanelWnd(QWidget *keyOwner) : QWidget(nullptr, Qt::Window), m_pKeyOwner(keyOwner)
{
    setWindowTitle(QStringLiteral("ｺﾏﾝﾄﾞ一覧"));
    auto *layout = new QVBoxLayout(this);
    m_pPages = new QTabWidget(this);
    layout->addWidget(m_pPages, 1);
    m_pStatus = new QLabel(this);
    m_pStatus->setWordWrap(true);
    m_pStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_pStatus);
    auto *row = new QHBoxLayout;
    m_pStop = new QPushButton(QStringLiteral("停止"), this);
    m_pStop->setEnabled(false);
    auto *edit = new QPushButton(QStringLiteral("編集..."), this);
    auto *import = new QPushButton(QStringLiteral("ｲﾝﾎﾟｰﾄ..."), this);
    auto *exportButton = new QPushButton(QStringLiteral("ｴｸｽﾎﾟｰﾄ..."), this);
    row->addWidget(m_pStop);
    row->addStretch(1);
    row->addWidget(edit);
    row->addWidget(import);
    row->addWidget(exportButton);
    layout->addLayout(row);
    resize(480, 260);

    connect(m_pStop, &QPushButton::clicked, &m_runner, &CSequenceRunner::Stop);
    connect(edit, &QPushButton::clicked, this, &CCommandPanelWnd::Edit);
    const QString filter = QStringLiteral("ｺﾏﾝﾄﾞﾌｧｲﾙ (*.csv)|*.csv|すべてのﾌｧｲﾙ (*.*)|*.*||");
    connect(import, &QPushButton::clicked, this, [this, filter] {
        Prompts::FileRequest request;
        request.filter = filter;
        request.defaultExtension = QStringLiteral("csv");
        request.kind = QStringLiteral("csv");
        const QString path = Prompts::AskFileName(this, request);
        QString error;
        if (!path.isEmpty() && !Import(path, &error))
            Prompts::Instance().MessageBox(this, error, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
    });
    connect(exportButton, &QPushButton::clicked, this, [this, filter] {
        Prompts::FileRequest request;
        request.open = false;
        request.filter = filter;
        request.defaultExtension = QStringLiteral("csv");
        request.kind = QStringLiteral("csv");
        request.overwritePrompt = true;
        const QString path = Prompts::AskFileName(this, request);
        QString error;
        if (!path.isEmpty() && !Export(path, &error))
            Prompts::Instance().MessageBox(this, error, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
    });
    connect(m_pPages, &QTabWidget::currentChanged, this, &CCommandPanelWnd::BuildPage);
    connect(&m_runner, &CSequenceRunner::StepStarted, this, &CCommandPanelWnd::OnStep);
    connect(&m_runner, &CSequenceRunner::Finished, this, &CCommandPanelWnd::OnFinished);
    Rebuild();
}

CCommandPanelWnd::~CCommandPanelWnd()
{
    qDeleteAll(m_shortcuts);
}

void CCommandPanelWnd::SetCommands(CCommandsFile commands)
{
    m_runner.Stop();
    m_commands = std::move(commands);
    m_runs.clear();
    Rebuild();
}

void CCommandPanelWnd::Rebuild()
{
    qDeleteAll(m_shortcuts);
    m_shortcuts.clear();
    m_buttons.clear();
    m_pendingStates.clear();
    m_pages.clear();
    m_pageOf.clear();
    const QSignalBlocker quiet(m_pPages);  // no page is built while the tabs are made
    while (m_pPages->count() > 0) {
        QWidget *page = m_pPages->widget(0);
        m_pPages->removeTab(0);
        delete page;
    }
    QHash<QString, int> pageIndex;
    const QList<CCommandsFile::Sequence> &sequences = m_commands.Sequences();
    for (qsizetype s = 0; s < sequences.size(); ++s) {
        const CCommandsFile::Sequence &sequence = sequences[s];
        const QString title = sequence.Page().isEmpty() ? QStringLiteral("ｺﾏﾝﾄﾞ") : sequence.Page();
        auto found = pageIndex.find(title);
        if (found == pageIndex.end()) {
            auto *page = new QWidget;
            Page made;
            made.grid = new QGridLayout(page);
            made.grid->setAlignment(Qt::AlignTop | Qt::AlignLeft);
            m_pPages->addTab(page, title);
            found = pageIndex.insert(title, int(m_pages.size()));
            m_pages.append(made);
        }
        m_pages[*found].sequences.append(s);
        const QString name = sequence.name;
        m_pageOf.insert(name, *found);
        if (!sequence.key.isEmpty()) {
            auto *shortcut = new QShortcut(QKeySequence::fromString(sequence.key), m_pKeyOwner);
            shortcut->setContext(Qt::ApplicationShortcut);
            connect(shortcut, &QShortcut::activated, this, [this, name] { Run(name); });
            m_shortcuts.append(shortcut);
        }
    }
    BuildPage(m_pPages->currentIndex());
    if (sequences.isEmpty())
        m_pStatus->setText(QStringLiteral("ｺﾏﾝﾄﾞがありません。「編集...」か「ｲﾝﾎﾟｰﾄ...」で作成してください。"));
    else
        m_pStatus->clear();
}

void CCommandPanelWnd::BuildPage(int index)
{
    if (index < 0 || index >= m_pages.size() || m_pages[index].built)
        return;
    Page &page = m_pages[index];
    page.built = true;
    for (const qsizetype s : std::as_const(page.sequences)) {
        const CCommandsFile::Sequence &sequence = m_commands.Sequences()[s];
        const QString caption = sequence.key.isEmpty() ? sequence.Caption()
                                                       : QStringLiteral("%1 (%2)").arg(sequence.Caption(), sequence.key);
        auto *button = new QPushButton(caption, page.grid->parentWidget());
        button->setToolTip(sequence.note);
        const int at = page.grid->count();
        page.grid->addWidget(button, at / kButtonColumns, at % kButtonColumns);
        const QString name = sequence.name;
        connect(button, &QPushButton::clicked, this, [this, name] { Run(name); });
        m_buttons.insert(name, button);
        const auto pending = m_pendingStates.constFind(name);
        if (pending != m_pendingStates.cend()) {
            SetButtonState(name, pending->first, pending->second);
            m_pendingStates.erase(pending);
        }
    }
}

QPushButton *CCommandPanelWnd::Button(const QString &name)
{
    if (!m_buttons.contains(name))
        BuildPage(m_pageOf.value(name, -1));
    return m_buttons.value(name);
}

bool CCommandPanelWnd::Run(const QString &name)
{
    const CCommandsFile::Sequence *sequence = m_commands.Find(name);
    if (!sequence)
        return false;
    if (m_runner.IsRunning()) {
        Q_EMIT Note(QStringLiteral("ｺﾏﾝﾄﾞ「%1」は実行しません: 「%2」を実行中です").arg(name, m_runner.Name()));
        return false;
    }
    SetButtonState(name, QString::fromLatin1(kRunningStyle), sequence->note);
    m_pStop->setEnabled(true);
    return m_runner.Start(*sequence, ++m_runs[name]);
}

QString CCommandPanelWnd::StatusText() const
{
    return m_pStatus->text();
}

void CCommandPanelWnd::OnStep(int step, const QString &what)
{
    const CCommandsFile::Sequence *sequence = m_commands.Find(m_runner.Name());
    m_pStatus->setText(QStringLiteral("実行中: 「%1」ｽﾃｯﾌﾟ%2/%3 %4")
                           .arg(m_runner.Name())
                           .arg(step)
                           .arg(sequence ? sequence->steps.size() : 0)
                           .arg(what));
}

void CCommandPanelWnd::OnFinished(int outcome, const QString &failure)
{
    m_pStop->setEnabled(false);
    const QString name = m_runner.Name();
    const CCommandsFile::Sequence *sequence = m_commands.Find(name);
    const QString note = sequence ? sequence->note : QString();
    if (outcome == CSequenceRunner::Passed) {
        SetButtonState(name, QString(), note);
        m_pStatus->setText(QStringLiteral("完了: 「%1」").arg(name));
        return;
    }
    SetButtonState(name, outcome == CSequenceRunner::Failed ? QString::fromLatin1(kFailedStyle) : QString(),
                   note.isEmpty() ? failure : note + QLatin1Char('\n') + failure);
    m_pStatus->setText(outcome == CSequenceRunner::Failed ? QStringLiteral("失敗: ") + failure : failure);
    Q_EMIT Note(outcome == CSequenceRunner::Failed ? QStringLiteral("ｺﾏﾝﾄﾞ失敗 ") + failure : failure);
}

void CCommandPanelWnd::SetButtonState(const QString &name, const QString &style, const QString &tip)
{
    QPushButton *button = m_buttons.value(name);
    if (!button) {
        if (m_pageOf.contains(name))
            m_pendingStates.insert(name, {style, tip});
        return;
    }
    button->setStyleSheet(style.isEmpty() ? QString() : QStringLiteral("QPushButton { %1 }").arg(style));
    button->setToolTip(tip);
}

void CCommandPanelWnd::Edit()
{
    CCommandsEditDlg dialog(m_commands, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    SetCommands(dialog.Commands());
    Q_EMIT CommandsChanged(m_commands.ToBytes());
}

bool CCommandPanelWnd::AddRows(const QList<QStringList> &rows, QString *error)
{
    CCommandsFile commands = m_commands;
    if (!commands.SetRows(commands.Rows() + rows, error))
        return false;
    SetCommands(std::move(commands));
    Q_EMIT CommandsChanged(m_commands.ToBytes());
    return true;
}

bool CCommandPanelWnd::Import(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("ﾌｧｲﾙを読めません: %1").arg(path);
        return false;
    }
    CCommandsFile read;
    QString why;
    if (!read.Parse(file.read(CCommandsFile::kMaxFileBytes + 1), &why)) {
        *error = QStringLiteral("%1: %2").arg(path, why);
        return false;
    }
    SetCommands(read);
    Q_EMIT CommandsChanged(m_commands.ToBytes());
    return true;
}

bool CCommandPanelWnd::Export(const QString &path, QString *error) const
{
    int code = 0;
    if (WriteWholeFile(path, m_commands.ToBytes(), &code))
        return true;
    *error = QStringLiteral("ﾌｧｲﾙに書き込めません: %1").arg(path);
    return false;
}
