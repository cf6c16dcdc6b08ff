#include "session/csequencerunner.h"

#include "platform/cchecksumrule.h"
#include "platform/chexconv.h"

namespace {

constexpr int kArrivedBytesShown = 64;

}  // namespace

CSequenceRunner::CSequenceRunner()
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CSequenceRunner::OnTimer);
}

CSequenceRunner::~CSequenceRunner() = default;

QString CSequenceRunner::ArrivedText(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return QStringLiteral("受信なし");
    QString hex;
    CHexConv().Bin2HexString(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()), hex,
                             kArrivedBytesShown);
    return QStringLiteral("受信 %1 ﾊﾞｲﾄ: %2%3")
        .arg(bytes.size())
        .arg(hex, bytes.size() > kArrivedBytesShown ? QStringLiteral(" +α") : QString());
}

bool CSequenceRunner::Start(const CCommandsFile::Sequence &sequence, quint32 run)
{
    if (IsRunning())
        return false;
    m_sequence = sequence;
    m_nRun = run;
    m_nStep = 1;
    m_phase = Idle;
    m_strFailure.clear();
    m_lastBlock.clear();
    m_groups.clear();
    Advance();
    return true;
}

void CSequenceRunner::Stop()
{
    if (IsRunning())
        End(Stopped, QStringLiteral("「%1」を中止しました (ｽﾃｯﾌﾟ%2)").arg(m_sequence.name).arg(m_nStep));
}

void CSequenceRunner::End(int outcome, const QString &failure)
{
    m_timer.stop();
    m_phase = Idle;
    m_nStep = 0;
    m_parts.clear();
    m_received.clear();
    m_strFailure = outcome == Failed ? failure : QString();
    Q_EMIT Finished(outcome, failure);
}

void CSequenceRunner::Fail(const QString &reason)
{
    const CCommandStep &step = m_sequence.steps[m_nStep - 1];
    End(Failed, QStringLiteral("「%1」ｽﾃｯﾌﾟ%2 %3: %4").arg(m_sequence.name).arg(m_nStep).arg(step.Describe(), reason));
}

bool CSequenceRunner::SendPart(const QByteArray &bytes)
{
    if (!m_sender || !m_sender(bytes)) {
        Fail(QStringLiteral("送信できません (接続されていません)"));
        return false;
    }
    Q_EMIT Sent(m_nStep, bytes);
    return true;
}

void CSequenceRunner::Advance()
{
    while (m_nStep > 0 && m_nStep <= m_sequence.steps.size()) {
        const CCommandStep &step = m_sequence.steps[m_nStep - 1];
        Q_EMIT StepStarted(m_nStep, step.Describe());
        switch (step.action) {
        case CCommandStep::Send: {
            CReplyTemplate::Context context;
            context.block = m_lastBlock;
            context.groups = m_groups;
            context.seq = m_nRun;
            QString why;
            if (!step.Telegram(context, &m_parts, &why)) {
                Fail(why);
                return;
            }
            if (m_pChecksum && step.ChecksumText().isEmpty()) {
                for (CReplyTemplate::Part &part : m_parts)
                    part.bytes = m_pChecksum->Apply(part.bytes);
            }
            // Parts after a ${wait} go out on the timer.
            while (!m_parts.isEmpty() && m_parts.front().waitMs <= 0) {
                if (!SendPart(m_parts.takeFirst().bytes))
                    return;
            }
            if (!m_parts.isEmpty()) {
                m_phase = SendingParts;
                m_timer.start(int(m_parts.front().waitMs));
                return;
            }
            break;
        }
        case CCommandStep::Wait:
            if (step.ms > 0) {
                m_phase = Waiting;
                m_timer.start(step.ms);
                return;
            }
            break;
        case CCommandStep::Expect:
            m_received.clear();
            m_phase = Expecting;
            m_timer.start(step.ms);
            return;
        case CCommandStep::Dtr:
        case CCommandStep::Rts:
        case CCommandStep::Break: {
            QString why = QStringLiteral("制御線を操作できません");
            int lastsMs = 0;
            if (!m_lineControl || !m_lineControl(step.action, step.action == CCommandStep::Break ? step.ms : step.value, &lastsMs, &why)) {
                Fail(why);
                return;
            }
            if (lastsMs > 0) {
                m_phase = Waiting;
                m_timer.start(lastsMs);
                return;
            }
            break;
        }
        }
        ++m_nStep;
    }
    if (m_nStep > 0)
        End(Passed, QString());
}

void CSequenceRunner::Receive(QByteArrayView bytes)
{
    if (m_phase != Expecting || bytes.isEmpty())
        return;
    m_received.append(bytes);
    if (m_received.size() > kMaxReceived)
        m_received.remove(0, m_received.size() - kMaxReceived);
    QList<QByteArray> groups;
    if (!m_sequence.steps[m_nStep - 1].Holds(m_received, &groups))
        return;
    m_timer.stop();
    m_lastBlock = std::exchange(m_received, QByteArray());
    m_groups = groups;
    m_phase = Idle;
    ++m_nStep;
    Advance();
}

void CSequenceRunner::OnTimer()
{
    switch (m_phase) {
    case Idle:
        return;
    case Expecting:
        Fail(QStringLiteral("%1ﾐﾘ秒以内に一致しませんでした。%2")
                 .arg(m_sequence.steps[m_nStep - 1].ms)
                 .arg(ArrivedText(m_received)));
        return;
    case SendingParts:
        if (!SendPart(m_parts.takeFirst().bytes))
            return;
        if (!m_parts.isEmpty()) {
            m_timer.start(int(m_parts.front().waitMs));
            return;
        }
        break;
    case Waiting:
        break;
    }
    m_phase = Idle;
    ++m_nStep;
    Advance();
}
