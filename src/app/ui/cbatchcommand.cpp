#include "app/ui/cbatchcommand.h"

#include "batch/cbatchreport.h"
#include "batch/csvfile.h"
#include "document/cconnectiontype.h"
#include "net/ctlscontext.h"
#include "platform/cp932.h"
#include "platform/csignalquit.h"
#include "platform/fileerrortext.h"
#include "platform/wholefile.h"
#include "session/ui/cqnview.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace {

QtMessageHandler g_previousHandler = nullptr;

void FilterMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

QString Seconds(double milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'f', 3) + QStringLiteral("秒");
}

}  // namespace

CBatchCommand::CBatchCommand(const CBatchOptions &options) : m_options(options) {}

CBatchCommand::~CBatchCommand() = default;

void CBatchCommand::QuietPlatformNotices()
{
    g_previousHandler = qInstallMessageHandler(FilterMessage);
}

void CBatchCommand::Say(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

void CBatchCommand::Fail(const QString &what, const QString &path, const QString &cause)
{
    Say(QStringLiteral("quillnet: %1: %2: %3").arg(what, path, cause));
}

bool CBatchCommand::CheckWritable(const QString &path)
{
    if (path.isEmpty())
        return true;
    // What the write will need, asked without touching anything: an existing file the user may write
    // (replaced beside it, or in place in a folder the user may not write; a terminal or pipe is
    // written straight), or else a folder the user may create it in.
    const QFileInfo info(path);
    const QByteArray name = QFile::encodeName(path);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    int code = 0;
    if (info.isDir())
        code = EISDIR;
    else if (info.exists() ? ::access(name.constData(), W_OK) != 0 : ::access(folder.constData(), W_OK | X_OK) != 0)
        code = errno;
    if (code == 0)
        return true;
    Fail(QStringLiteral("ﾌｧｲﾙに書き込めません"), path, FileErrorText(code));
    return false;
}

namespace {

// "3, 5, 9行目", the first few of them.
QString LineNumbers(const QList<int> &lines)
{
    constexpr int kShown = 5;
    QStringList shown;
    for (int i = 0; i < lines.size() && i < kShown; ++i)
        shown << QString::number(lines[i]);
    return shown.join(QStringLiteral(", ")) + (lines.size() > kShown ? QStringLiteral(" ほか") : QString()) +
           QStringLiteral("行目");
}

}  // namespace

bool CBatchCommand::CheckScenarioNotes(const CBatchScenario::ReadNotes &notes)
{
    // Unattended, a row the scenario holds but the run would not reach is an error, never a pass.
    QStringList causes;
    if (notes.utf8Bom)
        causes << QStringLiteral("UTF-8 (BOM付き) のﾌｧｲﾙです。ｺｰﾄﾞﾍﾟｰｼﾞ932で保存してください");
    if (!notes.notCp932.isEmpty())
        causes << LineNumbers(notes.notCp932) + QStringLiteral("はｺｰﾄﾞﾍﾟｰｼﾞ932の文字ではありません");
    if (!notes.strayQuotes.isEmpty())
        causes << LineNumbers(notes.strayQuotes) + QStringLiteral("の \" が閉じていません");
    if (!notes.afterBlank.isEmpty())
        causes << LineNumbers(notes.afterBlank) + QStringLiteral("は接続先ｱﾄﾞﾚｽのない行の後にあり、実行されません");
    if (notes.pastLastRow)
        causes << QStringLiteral("%1行目より後は読まれません").arg(CBatchScenario::kRows);
    if (notes.lines > 0 && m_runner.Scenario().RunnableRows() == 0)
        causes << QStringLiteral("接続先ｱﾄﾞﾚｽのある行がありません");
    for (const QString &text : std::as_const(causes))
        Fail(QStringLiteral("ｼﾅﾘｵﾌｧｲﾙを実行できません"), m_options.scenario, text);
    return causes.isEmpty();
}

bool CBatchCommand::Prepare()
{
    QString cause;
    CBatchScenario::ReadNotes notes;
    if (!m_runner.Scenario().ReadCsv(m_options.scenario, &cause, &notes)) {
        Fail(QStringLiteral("ｼﾅﾘｵﾌｧｲﾙを読めません"), m_options.scenario, cause);
        return false;
    }
    if (!CheckScenarioNotes(notes))
        return false;
    if (!m_options.settings.isEmpty() && !m_doc.OnOpenDocument(m_options.settings, &cause)) {
        Fail(QStringLiteral("設定ﾌｧｲﾙを読めません"), m_options.settings, cause.simplified());
        return false;
    }
    // A scenario run drives a device; it does not stand in for one unless asked to.
    if (!m_options.replyRules)
        m_doc.SetSlotInt(CQnDoc::SLOT_REPLY_USE, 0);
    if (m_options.tls) {
        // The type of the rows without a prefix (a TCP client) connects over TLS as the options say.
        const QList<int> tlsSlots = CConnectionType::ForBatchAddress(QString()).TlsSlots();
        CTlsSettings tls;
        QString error;
        CTlsSettings::ParseClient(CConnectionType::Texts(m_doc, tlsSlots), &tls, &error);
        tls.m_bUse = true;
        tls.m_verify = m_options.insecure            ? CTlsSettings::Verify::None
                       : m_options.caFile.isEmpty() ? CTlsSettings::Verify::SystemStore
                                                    : CTlsSettings::Verify::CaFile;
        tls.m_strCaFile = m_options.caFile.isEmpty() ? QString() : QFileInfo(m_options.caFile).absoluteFilePath();
        CConnectionType::SetTexts(&m_doc, tlsSlots, tls.Texts());
    }
    QStringList reports;
    for (const QString &path : {m_options.results, m_options.junit, m_options.timings, m_options.values}) {
        if (!CheckWritable(path))
            return false;
        if (path.isEmpty())
            continue;
        const QString same = QFileInfo(path).absoluteFilePath();
        if (reports.contains(same)) {
            Fail(QStringLiteral("同じﾌｧｲﾙに二つのﾚﾎﾟｰﾄは書けません"), path, QStringLiteral("別のﾌｧｲﾙ名を指定してください"));
            return false;
        }
        reports << same;
    }
    return true;
}

int CBatchCommand::Run()
{
    if (!Prepare())
        return kExitUsage;
    m_clock.start();
    m_pReport = std::make_unique<CBatchReport>(&m_runner, QFileInfo(m_options.scenario).fileName());
    if (m_pReport->RowCount() == 0) {
        Say(QStringLiteral("quillnet: ｼﾅﾘｵに接続先ｱﾄﾞﾚｽのある行がありません: %1").arg(m_options.scenario));
        return WriteReports() ? kExitPassed : kExitUsage;
    }

    // The settings of the document apply, the socket type becomes TCP client at each row and the
    // client's own port is the document's (a new document's is "0", as in the window).
    if (!m_options.settings.isEmpty())
        m_runner.SetLocalPort(m_doc.GetSlotString(CConnectionType::ForBatchAddress(QString()).batch.ownPort));
    m_runner.SetRowTimeout(m_options.rowTimeoutMs);
    m_runner.SetPromptOverride(m_options.prompts);
    m_runner.SetChecksum(m_options.checksum);

    m_pView = std::make_unique<CQnView>();
    m_pView->OnInitialUpdate(&m_doc);
    m_pView->AttachBatchRunner(&m_runner);
    m_runner.Attach(m_pView.get(), &m_doc);
    if (!m_trace.Start(m_pView.get(), m_options))
        return kExitUsage;
    connect(&m_runner, &CBatchRunner::RowStarted, this, &CBatchCommand::OnRowStarted);
    connect(&m_runner, &CBatchRunner::RowEnded, this, &CBatchCommand::OnRowEnded);
    connect(&m_runner, &CBatchRunner::Finished, this, &CBatchCommand::OnFinished);
    // A send file goes out byte for byte; one that is no code page 932 text may be a mistake.
    connect(&m_runner, &CBatchRunner::SendFileLoaded, this, [this](const QList<QByteArray> &lines) {
        const bool bom = !lines.isEmpty() && lines[0].startsWith("\xEF\xBB\xBF");
        if (!m_options.quiet && (bom || !std::all_of(lines.begin(), lines.end(), IsCp932Text)))
            Say(RowText(m_nRow) + (bom ? QStringLiteral(" 注意: 送信ﾌｧｲﾙは UTF-8 (BOM付き) です。BOM も送信されます")
                                       : QStringLiteral(" 注意: 送信ﾌｧｲﾙにｺｰﾄﾞﾍﾟｰｼﾞ932の文字でないﾊﾞｲﾄがあります (そのまま送信します)")));
    });
    // A TLS row connected without verifying its server says so, as the connection pane does.
    connect(m_pView.get(), &CQnView::ConnectionWarningChanged, this, [this](bool warning) {
        if (warning && !m_options.quiet)
            Say(RowText(m_nRow) + QStringLiteral(" TLS 未検証: ｻｰﾊﾞｰ証明書を検証していません"));
    });
    // An encrypted key takes its passphrase from the file or the environment, read at each use;
    // with neither the row fails at once: nothing may wait for a terminal.
    CTlsContext::SetPassphraseSource([file = m_options.keyPassFile](const QString &, QByteArray *passphrase) {
        return CBatchOptions::ReadKeyPassphrase(file, passphrase, nullptr);
    });
    CSignalQuit interruptions(nullptr, false);
    connect(&interruptions, &CSignalQuit::Received, this, &CBatchCommand::OnSignal);

    m_runner.Start();
    if (m_runner.IsRunning())
        m_loop.exec();
    m_pView->AttachBatchRunner(nullptr);
    CTlsContext::SetPassphraseSource(nullptr);

    const int passed = m_pReport->PassedRows();
    const int failed = m_pReport->FailedRows();
    if (!m_options.quiet) {
        // Response times to the prompt, as the timings file holds them.
        for (const QString &line : m_pReport->SummaryLines())
            Say(QStringLiteral("応答時間 ") + line);
        Say(QStringLiteral("%1 正常終了 %2 行, 正常終了しなかった行 %3 行, %4")
                .arg(m_bAborted ? QStringLiteral("中止しました。") : QStringLiteral("一括送信は終了しました。"))
                .arg(passed)
                .arg(failed)
                .arg(Seconds(double(m_clock.nsecsElapsed()) / 1e6)));
    }
    // The rows were sent: a report that cannot be written is not "nothing was sent".
    if (!m_trace.End() | !WriteReports())
        return kExitReport;
    if (m_bInterrupted)
        return kExitInterrupted;
    return failed == 0 ? kExitPassed : kExitFailed;
}

QString CBatchCommand::RowText(int row) const
{
    const CBatchScenario &scenario = m_runner.Scenario();
    return QStringLiteral("行 %1: %2:%3 %4")
        .arg(QString::number(row), scenario.Cell(row, CBatchScenario::COL_ADDRESS),
             scenario.Cell(row, CBatchScenario::COL_PORT), scenario.Cell(row, CBatchScenario::COL_FILE));
}

void CBatchCommand::OnRowStarted(int row)
{
    m_nRow = row;
    m_pView->ChannelValues().ResetFigures();
    if (!m_options.quiet)
        Say(RowText(row) + QStringLiteral(" 開始"));
}

void CBatchCommand::OnRowEnded(int row, int code, double milliseconds)
{
    // The result as the results file has it: a failed connect names its cause.
    const QString result = m_runner.Scenario().Cell(row, CBatchScenario::COL_RESULT);
    // The channels' figures of the row; a value outside its limits fails a row that passed.
    const CChannelValues &values = m_pView->ChannelValues();
    const QStringList figures = values.ChannelCount() ? values.FiguresLines() : QStringList();
    const QString limits = values.LimitFailureText();
    m_pReport->SetRowValues(row, figures, limits);
    if (!m_options.quiet) {
        Say(RowText(row) + QLatin1Char(' ') + (result.isEmpty() ? CBatchRunner::ResultText(code) : result) + QLatin1Char(' ') +
            Seconds(milliseconds));
        for (const QString &line : figures)
            Say(RowText(row) + QStringLiteral(" 値 ") + line);
        if (m_pReport->FailedByLimits(row))
            Say(RowText(row) + QStringLiteral(" 失敗 ") + limits);
    }
}

void CBatchCommand::OnFinished(bool aborted)
{
    m_bAborted = aborted;
    m_loop.quit();
}

void CBatchCommand::OnSignal()
{
    // The row in progress ends at once as aborted; rows not reached keep an empty result.
    m_bInterrupted = true;
    if (!m_runner.IsRunning())
        return;
    m_runner.RequestAbort();
    m_runner.EndRowNow();
}

bool CBatchCommand::WriteFile(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return true;
    int code = 0;
    if (WriteWholeFile(path, bytes, &code))
        return true;
    Fail(QStringLiteral("ﾌｧｲﾙに書き込めません"), path, FileErrorText(code));
    return false;
}

bool CBatchCommand::WriteReports()
{
    bool ok = true;
    // The scenario with its result column, in the batch window's CSV format.
    QString cause;
    if (!m_options.results.isEmpty() && !m_runner.Scenario().WriteCsv(m_options.results, &cause)) {
        Fail(QStringLiteral("ﾌｧｲﾙに書き込めません"), m_options.results, cause);
        ok = false;
    }
    ok = WriteFile(m_options.junit, m_pReport->JUnitXml()) && ok;
    ok = WriteFile(m_options.timings, m_pReport->TimingsCsv()) && ok;
    if (!m_options.values.isEmpty() && m_pView && !WriteCsvFile(m_options.values, m_pView->ChannelValues().ToCsv(), &cause)) {
        Fail(QStringLiteral("ﾌｧｲﾙに書き込めません"), m_options.values, cause);
        ok = false;
    }
    return ok;
}
