#include "app/ui/ccommandscommand.h"

#include "app/ui/cbatchcommand.h"
#include "batch/cbatchscenario.h"
#include "batch/csvfile.h"
#include "document/cconnectiontype.h"
#include "net/ctcpserversettings.h"
#include "net/ctlscontext.h"
#include "platform/csignalquit.h"
#include "platform/fileerrortext.h"
#include "platform/wholefile.h"
#include "session/ui/cqnview.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

QString Seconds(double milliseconds)
{
    return QString::number(milliseconds / 1000.0, 'f', 3) + QStringLiteral("秒");
}

double Milliseconds(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

// "HOST:PORT" or "[v6]:PORT" apart; false without a port.
bool SplitHostPort(const QString &text, QString *host, QString *port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    *host = text.left(colon);
    *port = text.mid(colon + 1);
    if (host->startsWith(QLatin1Char('[')) && host->endsWith(QLatin1Char(']')))
        *host = host->mid(1, host->size() - 2);
    bool number = false;
    const int value = port->toInt(&number);
    return number && value >= 0 && value <= 65535;
}

}  // namespace

CCommandsCommand::CCommandsCommand(const CBatchOptions &options)
    : m_options(options), m_report(QFileInfo(options.commands).fileName())
{
}

CCommandsCommand::~CCommandsCommand()
{
    if (m_pView)
        m_pView->AttachSequenceRunner(nullptr);
}

void CCommandsCommand::Say(const QString &line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stderr);
    std::fflush(stderr);
}

bool CCommandsCommand::Point(CQnDoc *doc, const QString &address, bool listen, QString *why)
{
    QString host;
    QString port;
    if (listen) {
        const QString text = address.contains(QLatin1Char(':')) ? address : QStringLiteral(":") + address;
        if (!SplitHostPort(text, &host, &port) || port.isEmpty()) {
            *why = QStringLiteral("--listen は [ﾎｽﾄ:]ﾎﾟｰﾄ で指定してください: %1").arg(address);
            return false;
        }
        // The server listens on every address of the machine.
        if (!host.isEmpty() && host != QLatin1String("0.0.0.0") && host != QLatin1String("::") && host != QLatin1String("*")) {
            *why = QStringLiteral("--listen のﾎｽﾄは 0.0.0.0 か :: だけです (すべてのｱﾄﾞﾚｽで待ち受けます): %1").arg(address);
            return false;
        }
        const auto rows = CConnectionType::All();
        const auto server = std::find_if(rows.begin(), rows.end(),
                                         [](const CConnectionType &row) { return row.Has(Capability::AcceptsClients); });
        doc->SetSocketType(server->type);
        const QList<int> serverSlots = server->EndpointSlots();
        CTcpServerSettings settings;
        QString error;
        CTcpServerSettings::Parse(CConnectionType::Texts(*doc, serverSlots), &settings, &error);
        settings.port = port;
        CConnectionType::SetTexts(doc, serverSlots, settings.Texts());
        return true;
    }
    const CConnectionType &row = CConnectionType::ForBatchAddress(address);
    if (row.batchPrefix) {
        // A device path, its baud after the last colon.
        const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
        doc->SetSocketType(row.type);
        doc->SetSlotString(row.batch.address, colon > 0 ? address.left(colon) : address);
        doc->SetSlotString(row.batch.port, colon > 0 ? address.mid(colon + 1) : QString());
        return true;
    }
    QString rest;
    const bool tls = CBatchScenario::SplitTlsAddress(address, &rest);
    if (!SplitHostPort(rest, &host, &port) || host.isEmpty()) {
        *why = QStringLiteral("--to は ﾎｽﾄ:ﾎﾟｰﾄ, tls://ﾎｽﾄ:ﾎﾟｰﾄ, /dev/ttyX:ﾎﾞｰﾚｰﾄ のどれかで指定してください: %1").arg(address);
        return false;
    }
    doc->SetSocketType(row.type);
    doc->SetSlotString(row.batch.address, host);
    doc->SetSlotString(row.batch.port, port);
    if (doc->GetSlotString(row.batch.ownPort).isEmpty())
        doc->SetSlotString(row.batch.ownPort, QStringLiteral("0"));
    if (tls)
        UseTls(doc, row, [](CTlsSettings *settings) { settings->m_bUse = true; });
    return true;
}

void CCommandsCommand::UseTls(CQnDoc *doc, const CConnectionType &row, const std::function<void(CTlsSettings *)> &change)
{
    const QList<int> tlsSlots = row.TlsSlots();
    CTlsSettings settings;
    QString error;
    const QStringList texts = CConnectionType::Texts(*doc, tlsSlots);
    if (row.Has(Capability::AcceptsClients))
        CTlsSettings::ParseServer(texts, &settings, &error);
    else
        CTlsSettings::ParseClient(texts, &settings, &error);
    change(&settings);
    CConnectionType::SetTexts(doc, tlsSlots, settings.Texts());
}

bool CCommandsCommand::Prepare()
{
    const auto fail = [](const QString &what, const QString &path, const QString &cause) {
        Say(QStringLiteral("quillnet: %1: %2: %3").arg(what, path, cause));
        return false;
    };
    QByteArray bytes;
    QFile file(m_options.commands);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("ｺﾏﾝﾄﾞﾌｧｲﾙを読めません"), m_options.commands, file.errorString());
    bytes = file.read(CCommandsFile::kMaxFileBytes + 1);
    QString cause;
    if (!m_file.Parse(bytes, &cause))
        return fail(QStringLiteral("ｺﾏﾝﾄﾞﾌｧｲﾙを読めません"), m_options.commands, cause);
    for (const QString &name : std::as_const(m_options.run)) {
        const CCommandsFile::Sequence *sequence = m_file.Find(name);
        if (!sequence)
            return fail(QStringLiteral("ｼｰｹﾝｽがありません"), m_options.commands, name);
        m_run.append(*sequence);
        m_report.Add(name);
    }
    if (!m_options.settings.isEmpty() && !m_doc.OnOpenDocument(m_options.settings, &cause))
        return fail(QStringLiteral("設定ﾌｧｲﾙを読めません"), m_options.settings, cause.simplified());
    if (!m_options.replyRules)
        m_doc.SetSlotInt(CQnDoc::SLOT_REPLY_USE, 0);
    if (m_options.tls) {
        // The type of an address without a prefix (a TCP client) connects over TLS as the options say.
        UseTls(&m_doc, CConnectionType::ForBatchAddress(QString()), [this](CTlsSettings *settings) {
            settings->m_bUse = true;
            settings->m_verify = m_options.insecure          ? CTlsSettings::Verify::None
                                 : m_options.caFile.isEmpty() ? CTlsSettings::Verify::SystemStore
                                                              : CTlsSettings::Verify::CaFile;
            settings->m_strCaFile = m_options.caFile.isEmpty() ? QString() : QFileInfo(m_options.caFile).absoluteFilePath();
        });
    }
    const bool listen = !m_options.listen.isEmpty();
    if (!Point(&m_doc, listen ? m_options.listen : m_options.to, listen, &cause))
        return fail(QStringLiteral("接続先を使えません"), listen ? m_options.listen : m_options.to, cause);
    for (const QString &path : {m_options.junit, m_options.timings, m_options.values}) {
        if (path.isEmpty())
            continue;
        // Checked before anything is sent, as the batch run does.
        const QFileInfo info(path);
        if (info.isDir() || (info.exists() ? !info.isWritable() : !QFileInfo(info.absolutePath()).isWritable()))
            return fail(QStringLiteral("ﾌｧｲﾙに書き込めません"), path, FileErrorText(info.isDir() ? EISDIR : EACCES));
    }
    return true;
}

int CCommandsCommand::Run()
{
    if (!Prepare())
        return CBatchCommand::kExitUsage;
    m_clock.start();
    m_pView = std::make_unique<CQnView>();
    m_pView->OnInitialUpdate(&m_doc);
    m_pView->AttachSequenceRunner(&m_runner);
    if (!m_trace.Start(m_pView.get(), m_options))
        return CBatchCommand::kExitUsage;
    m_runner.SetDefaultChecksum(m_options.checksum);
    m_runner.SetSender([this](const QByteArray &bytes) { return m_pView->SendSequenceTelegram(bytes, m_runner.Name()); });
    m_runner.SetLineControl([this](CCommandStep::Action action, int value, int *lastsMs, QString *why) {
        return m_pView->ControlLine(action, value, lastsMs, why);
    });
    connect(&m_runner, &CSequenceRunner::Finished, this, &CCommandsCommand::OnFinished);
    connect(&m_runner, &CSequenceRunner::StepStarted, this, [this](int step, const QString &what) {
        m_report.StepStarted(m_nIndex, step, what, Milliseconds(m_sequenceClock));
    });
    connect(m_pView.get(), &CQnView::CommandStateChanged, this, &CCommandsCommand::OnViewChanged);
    connect(m_pView.get(), &CQnView::ConnectionChanged, this, &CCommandsCommand::OnViewChanged);
    connect(m_pView.get(), &CQnView::ConnectionWarningChanged, this, [this](bool warning) {
        if (warning && !m_options.quiet)
            Say(QStringLiteral("TLS 未検証: ｻｰﾊﾞｰ証明書を検証していません"));
    });
    CTlsContext::SetPassphraseSource([file = m_options.keyPassFile](const QString &, QByteArray *passphrase) {
        return CBatchOptions::ReadKeyPassphrase(file, passphrase, nullptr);
    });
    CSignalQuit interruptions(nullptr, false);
    connect(&interruptions, &CSignalQuit::Received, this, &CCommandsCommand::OnSignal);

    if (!m_options.quiet)
        Say(QStringLiteral("接続: %1").arg(m_options.listen.isEmpty() ? m_options.to : QStringLiteral("待ち受け ") + m_options.listen));
    // Handled at once, so that its outcome can be judged now (and again at each change while it waits).
    SendMessage(m_pView.get(), WM_SESSION_EVENT, EV_SET_TYPE, m_doc.SocketType());
    SendMessage(m_pView.get(), WM_SESSION_EVENT, EV_CONNECT, 0);
    m_bConnectHandled = true;
    OnViewChanged();
    if (m_phase != Done)
        m_loop.exec();
    m_pView->AttachSequenceRunner(nullptr);
    CTlsContext::SetPassphraseSource(nullptr);

    if (!m_options.quiet)
        Say(QStringLiteral("%1 成功 %2, 失敗 %3, 未実行 %4, %5")
                .arg(m_bInterrupted ? QStringLiteral("中止しました。") : QStringLiteral("ｼｰｹﾝｽの実行は終了しました。"))
                .arg(m_report.PassedCount())
                .arg(m_report.FailedCount())
                .arg(m_report.Count() - m_report.PassedCount() - m_report.FailedCount())
                .arg(Seconds(Milliseconds(m_clock))));
    // The sequences ran: a trace or report that cannot be written is not "nothing was sent".
    bool written = m_trace.End() & WriteFile(m_options.junit, m_report.JUnitXml()) & WriteFile(m_options.timings, m_report.TimingsCsv());
    QString cause;
    if (!m_options.values.isEmpty() && !WriteCsvFile(m_options.values, m_pView->ChannelValues().ToCsv(), &cause)) {
        Say(QStringLiteral("quillnet: ﾌｧｲﾙに書き込めません: %1: %2").arg(m_options.values, cause));
        written = false;
    }
    if (!written)
        return CBatchCommand::kExitReport;
    if (m_bInterrupted)
        return CBatchCommand::kExitInterrupted;
    return m_report.FailedCount() == 0 ? CBatchCommand::kExitPassed : CBatchCommand::kExitFailed;
}

void CCommandsCommand::OnViewChanged()
{
    if (!m_bConnectHandled || !m_pView)
        return;
    const SessionState state = m_pView->State();
    const bool open = state == ST_CONNECTED || state == ST_CONNECTED_LOOPBACK;
    switch (m_phase) {
    case Connecting:
        if (state == ST_WAIT_CONNECT)
            return;
        if (open && !m_pView->HasPeer()) {
            // Said once: a caller that listened on port 0 learns the port here.
            if (!m_pView->ConnectionText().isEmpty() && !std::exchange(m_bListenSaid, true))
                Say(QStringLiteral("待ち受け: %1").arg(m_pView->ConnectionText()));
            return;
        }
        if (open) {
            if (!m_options.quiet)
                Say(QStringLiteral("接続しました: %1").arg(m_pView->ConnectionText()));
            m_phase = Running;
            // Started from the event loop, not inside the view's own handling of the change.
            QMetaObject::invokeMethod(this, &CCommandsCommand::RunNext, Qt::QueuedConnection);
            return;
        }
        // The connect failed: every sequence fails with its cause.
        for (int i = 0; i < m_run.size(); ++i)
            m_report.Ended(i, false, QStringLiteral("接続できません: %1").arg(m_pView->ConnectionText()), 0.0);
        if (!m_options.quiet)
            Say(QStringLiteral("接続できません: %1").arg(m_pView->ConnectionText()));
        m_phase = Done;
        m_loop.quit();
        return;
    case Running:
        if (!open && m_runner.IsRunning()) {
            // The connection has gone: the sequence fails where it stands.
            m_nLostStep = m_runner.Step();
            m_runner.Stop();
        }
        return;
    case Closing:
        if (state == ST_DISCONNECTED) {
            m_phase = Done;
            m_loop.quit();
        }
        return;
    case Done:
        return;
    }
}

void CCommandsCommand::RunNext()
{
    if (m_phase != Running)
        return;
    ++m_nIndex;
    if (m_nIndex >= m_run.size() || m_bInterrupted) {
        m_phase = Closing;
        PostMessage(m_pView.get(), WM_SESSION_EVENT, EV_DISCONNECT, 1);
        QMetaObject::invokeMethod(this, &CCommandsCommand::OnViewChanged, Qt::QueuedConnection);
        return;
    }
    const CCommandsFile::Sequence &sequence = m_run[m_nIndex];
    if (!m_options.quiet)
        Say(QStringLiteral("ｼｰｹﾝｽ「%1」開始").arg(sequence.name));
    m_sequenceClock.start();
    m_pView->ChannelValues().ResetFigures();
    m_runner.Start(sequence, 1);
}

void CCommandsCommand::OnFinished(int outcome, const QString &failure)
{
    const double ms = Milliseconds(m_sequenceClock);
    const QString name = m_run.value(m_nIndex).name;
    QString text = failure;
    if (outcome == CSequenceRunner::Stopped)
        text = m_bInterrupted ? failure : QStringLiteral("「%1」ｽﾃｯﾌﾟ%2: 接続が切れました").arg(name).arg(m_nLostStep);
    // A value outside its channel's limits fails a sequence that passed its steps.
    const CChannelValues &values = m_pView->ChannelValues();
    const QString limits = values.LimitFailureText();
    if (outcome == CSequenceRunner::Passed && !limits.isEmpty()) {
        outcome = CSequenceRunner::Failed;
        text = QStringLiteral("「%1」").arg(name) + limits;
    }
    m_report.Ended(m_nIndex, outcome == CSequenceRunner::Passed, text, ms);
    const QStringList figures = values.ChannelCount() ? values.FiguresLines() : QStringList();
    m_report.SetFigures(m_nIndex, figures);
    if (!m_options.quiet) {
        for (const QString &line : figures)
            Say(QStringLiteral("ｼｰｹﾝｽ「%1」値 ").arg(name) + line);
    }
    if (!m_options.quiet)
        Say(outcome == CSequenceRunner::Passed ? QStringLiteral("ｼｰｹﾝｽ「%1」○ %2").arg(name, Seconds(ms))
                                               : QStringLiteral("ｼｰｹﾝｽ「%1」× %2 %3").arg(name, text, Seconds(ms)));
    QMetaObject::invokeMethod(this, &CCommandsCommand::RunNext, Qt::QueuedConnection);
}

void CCommandsCommand::OnSignal()
{
    m_bInterrupted = true;
    if (m_phase == Connecting) {
        m_phase = Done;
        m_loop.quit();
    } else if (m_runner.IsRunning()) {
        m_runner.Stop();
    }
}

bool CCommandsCommand::WriteFile(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return true;
    int code = 0;
    if (WriteWholeFile(path, bytes, &code))
        return true;
    Say(QStringLiteral("quillnet: ﾌｧｲﾙに書き込めません: %1: %2").arg(path, FileErrorText(code)));
    return false;
}
