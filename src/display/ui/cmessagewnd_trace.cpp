// The History's packet traces: its telegrams saved as pcapng (all, or the selection), and a
// recording that writes each telegram as it arrives.
#include "display/ui/cmessagewnd.h"

#include "display/ctracerecorder.h"
#include "display/ui/clineview.h"
#include "platform/cinifile.h"
#include "platform/prompts.h"

#include <QAction>
#include <QFileInfo>
#include <QInputDialog>

namespace {

const char *const kTraceFilter = "pcapng ﾌｧｲﾙ (*.pcapng)|*.pcapng|すべてのﾌｧｲﾙ (*.*)|*.*||";
const char *const kDissectorKey = "TraceSerialDissector";

}  // namespace

void CMessageWnd::CreateTraceTools()
{
    m_pSaveTrace = new QAction(QStringLiteral("pcapngで保存..."), this);
    connect(m_pSaveTrace, &QAction::triggered, this, &CMessageWnd::SaveTrace);
    m_pRecordTrace = new QAction(QStringLiteral("pcapngで記録..."), this);
    m_pRecordTrace->setCheckable(true);
    connect(m_pRecordTrace, &QAction::triggered, this, [this](bool on) {
        if (on)
            StartTraceRecording();
        else
            StopTraceRecording();
    });
    m_pTraceDissector = new QAction(QStringLiteral("pcapngのｼﾘｱﾙ ﾃﾞｨｾｸﾀ..."), this);
    connect(m_pTraceDissector, &QAction::triggered, this, &CMessageWnd::AskTraceDissector);
    ReadTraceOptions();
    // A telegram whose line shows all its bytes as digits is kept as those digits only.
    m_traceStore.SetLineBytes([this](qint64 serial) {
        if (!m_pText)
            return QByteArray();
        const CLineStore &store = m_pText->Store();
        const qint64 index = serial - store.FirstSerial();
        if (index < 0 || index >= store.Count())
            return QByteArray();
        const CLineStore::Line &line = store.Peek(int(index));
        if (!line.hexPending.isEmpty())
            return line.hexPending;
        QByteArray bytes(line.tail.size() / 2, Qt::Uninitialized);
        m_hexConv.HexString2Bin(line.tail, reinterpret_cast<unsigned char *>(bytes.data()), int(bytes.size()));
        return bytes;
    });
}

void CMessageWnd::ReadTraceOptions()
{
    const CIniFile profile(CIniFile::ProfilePath());
    m_traceDissector = profile.GetString(QString::fromLatin1(kProfileSection), QString::fromLatin1(kDissectorKey), QString())
                           .toLatin1();
}

void CMessageWnd::SetTraceDissector(const QByteArray &name)
{
    m_traceDissector = name.trimmed();
    WriteOption(QString::fromLatin1(kDissectorKey), QString::fromLatin1(m_traceDissector));
}

bool CMessageWnd::AskTraceDissector()
{
    const QStringList names{QStringLiteral("data"), QStringLiteral("mbrtu"), QStringLiteral("mbtcp"),
                            QStringLiteral("ascii")};
    QStringList items = names;
    const QString current = QString::fromLatin1(m_traceDissector);
    if (!current.isEmpty()) {
        items.removeAll(current);
        items.prepend(current);
    }
    bool ok = false;
    const QString name = QInputDialog::getItem(
        this, QStringLiteral("pcapngのｼﾘｱﾙ ﾃﾞｨｾｸﾀ"),
        QStringLiteral("ｼﾘｱﾙの電文を渡すﾃﾞｨｾｸﾀの名前 (例: data, mbrtu = Modbus RTU)"), items, 0, true, &ok);
    if (!ok)
        return false;
    SetTraceDissector(name.toLatin1());
    return true;
}

void CMessageWnd::TraceTelegram(char direction, const unsigned char *data, int length, const QByteArray &kept,
                                qint64 lineSerial, bool inLine)
{
    if (!m_traceOrigin || direction == 0 || (lineSerial < 0 && !m_pTraceRecorder))
        return;
    QList<CTraceTelegram> telegrams = m_traceOrigin(direction);
    if (telegrams.isEmpty())
        return;
    inLine = inLine && lineSerial >= 0;
    // The bytes once for all the entries; those the window keeps anyway are shared, not copied, and
    // those its line shows as digits are not kept at all unless a recording writes them now.
    const bool needed = !inLine || m_pTraceRecorder;
    const QByteArray bytes = kept.size() == length && length > 0 ? kept
        : needed ? QByteArray(reinterpret_cast<const char *>(data), data ? qMax(0, length) : 0)
                 : QByteArray();
    const auto clock = lineSerial >= 0 ? m_stampClock : std::chrono::system_clock::now();
    const qint64 micros = std::chrono::duration_cast<std::chrono::microseconds>(clock.time_since_epoch()).count();
    const CChecksumCheck *check = m_pTraceRecorder && direction == 'R' && m_pText ? m_pText->ChecksumCheck() : nullptr;
    const int verdict = check ? (check->Judge(bytes).verdict == CChecksumCheck::Good ? 1 : 0) : -1;
    for (CTraceTelegram &telegram : telegrams) {
        telegram.direction = direction;
        telegram.microseconds = micros;
        telegram.bytes = bytes;
        if (m_pTraceRecorder) {
            telegram.checksum = verdict;
            m_pTraceRecorder->Write(telegram);
            telegram.checksum = -1;
        }
        if (lineSerial >= 0)
            m_traceStore.Add(lineSerial, std::move(telegram), inLine);
    }
    if (lineSerial >= 0)
        m_traceStore.Trim(m_pText->Store().FirstSerial());
}

namespace {

// The file a trace is saved or recorded to; empty when the user cancels.
QString AskTracePath(QWidget *parent)
{
    Prompts::FileRequest request;
    request.open = false;
    request.filter = QString::fromUtf8(kTraceFilter);
    request.defaultExtension = QStringLiteral("pcapng");
    request.overwritePrompt = true;
    request.kind = QStringLiteral("pcapng");
    return Prompts::Instance().FileName(parent, request);
}

}  // namespace

bool CMessageWnd::SaveTrace()
{
    const QString path = AskTracePath(this);
    if (path.isEmpty())
        return false;
    QString error;
    if (SaveTraceTo(path, m_pText && m_pText->HasSelection(), &error))
        return true;
    Prompts::Instance().MessageBox(this, QStringLiteral("%1 に保存できません。\n%2").arg(path, error),
                                   Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
    return false;
}

bool CMessageWnd::SaveTraceTo(const QString &path, bool selectionOnly, QString *error) const
{
    if (!m_pText)
        return false;
    const CLineStore &store = m_pText->Store();
    qint64 from = store.FirstSerial();
    qint64 to = store.FirstSerial() + store.Count();
    if (selectionOnly && m_pText->HasSelection() && m_pText->RowCount() > 0) {
        const auto [first, lastSelected] = m_pText->SelectedRows();
        const int last = m_pText->RowCount() - 1;
        from = store.FirstSerial() + m_pText->LineOfRow(qMin(last, first));
        to = store.FirstSerial() + m_pText->LineOfRow(qMin(last, lastSelected)) + 1;
    }
    const CChecksumCheck *check = m_pText->ChecksumCheck();
    CTraceStore::Judge judge;
    if (check)
        judge = [check](const QByteArray &bytes) { return check->Judge(bytes).verdict == CChecksumCheck::Good ? 1 : 0; };
    return m_traceStore.SaveTo(path, from, to, m_traceDissector, judge, error);
}

bool CMessageWnd::StartTraceRecording()
{
    const QString path = AskTracePath(this);
    QString error;
    if (path.isEmpty())
        return false;
    if (!StartTraceRecordingTo(path, &error)) {
        Prompts::Instance().MessageBox(this, QStringLiteral("%1 に記録できません。\n%2").arg(path, error),
                                       Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        return false;
    }
    return true;
}

bool CMessageWnd::StartTraceRecordingTo(const QString &path, QString *error, const QByteArray &dissector)
{
    StopTraceRecording();
    auto recorder = std::make_unique<CTraceRecorder>();
    const bool opened = recorder->Open(path, dissector.isEmpty() ? m_traceDissector : dissector, error);
    if (opened) {
        connect(recorder.get(), &CTraceRecorder::Failed, this, &CMessageWnd::OnTraceFailed);
        connect(recorder.get(), &CTraceRecorder::SlowReader, this, &CMessageWnd::OnTraceSlow);
        m_pTraceRecorder = std::move(recorder);
    }
    if (m_pRecordTrace)
        m_pRecordTrace->setChecked(opened);
    return opened;
}

void CMessageWnd::StopTraceRecording(std::chrono::milliseconds wait)
{
    if (m_pTraceRecorder)
        m_pTraceRecorder->Close(wait);
    m_pTraceRecorder.reset();
    if (m_pRecordTrace)
        m_pRecordTrace->setChecked(false);
}

void CMessageWnd::EndTraceConnection(quint64 connection)
{
    if (m_pTraceRecorder) {
        const auto now = std::chrono::system_clock::now().time_since_epoch();
        m_pTraceRecorder->EndConnection(connection, std::chrono::duration_cast<std::chrono::microseconds>(now).count());
    }
}

void CMessageWnd::OnTraceFailed(const QString &cause)
{
    if (!m_pTraceRecorder)
        return;
    const QString path = m_pTraceRecorder->Path();
    StopTraceRecording();
    Prompts::Instance().MessageBox(
        this, QStringLiteral("%1 に記録できません。\n%2\npcapngの記録を終了しました。").arg(path, cause),
        Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
}

void CMessageWnd::OnTraceSlow()
{
    // Nothing is lost, so no message box: whoever shows notices says it.
    Q_EMIT TraceReaderSlow(m_pTraceRecorder ? m_pTraceRecorder->Path() : QString());
}
