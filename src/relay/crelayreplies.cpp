#include "relay/crelayreplies.h"

#include "display/cchecksumcheck.h"
#include "relay/crelay.h"
#include "session/creplyruletable.h"

#include <QPointer>
#include <QTimer>

CRelayReplies::CRelayReplies(CRelay *relay, QObject *parent) : QObject(parent), m_pRelay(relay)
{
    relay->SetInterceptor([this](int direction, const QByteArray &bytes) { return Intercept(direction, bytes); });
}

CRelayReplies::~CRelayReplies()
{
    m_pRelay->SetInterceptor(nullptr);
}

bool CRelayReplies::UseRules(const CQnDoc &doc, int direction, QString *error)
{
    m_nDirection = -1;
    if (direction < 0)
        return true;
    CReplyRuleTable table;
    table.Load(doc);
    m_matcher.SetRules(table.rules);
    if (m_matcher.IsEmpty()) {
        *error = QStringLiteral("使える応答ﾙｰﾙがありません");
        return false;
    }
    m_nDirection = direction;
    return true;
}

bool CRelayReplies::CheckChecksum(const QString &rule, QString *error)
{
    m_pCheck.reset();
    if (rule.isEmpty())
        return true;
    m_pCheck = CChecksumCheck::Create(rule, error);
    return m_pCheck != nullptr;
}

void CRelayReplies::Check(int direction, const QByteArray &bytes)
{
    if (!m_pCheck)
        return;
    const CChecksumCheck::Result result = m_pCheck->Judge(bytes);
    if (result.verdict != CChecksumCheck::Bad)
        return;
    ++m_bad[size_t(direction)];
    Q_EMIT BadChecksum(direction, result.received, result.expected);
}

bool CRelayReplies::Intercept(int direction, const QByteArray &bytes)
{
    Check(direction, bytes);
    if (direction != m_nDirection)
        return false;
    QList<QByteArray> groups;
    const int number = m_matcher.Match(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()),
                                       nullptr, &groups, m_state);
    if (number == 0)
        return false;
    CReplyTemplate::Context context;
    context.block = QByteArrayView(bytes);
    context.groups = groups;
    context.seq = ++m_nAnswers[size_t(number - 1)];
    QList<CReplyTemplate::Part> parts;
    QString why;
    if (!m_matcher.Answer(number, context, &parts, &why))
        return false;  // a rule that cannot answer leaves the telegram to the other side
    ++m_answered[size_t(direction)];
    const QString next = m_matcher.NextState(number);
    if (!next.isEmpty())
        m_state = next;
    qint64 at = m_matcher.Delay(number);
    QPointer<CRelay> relay(m_pRelay);
    for (const CReplyTemplate::Part &part : std::as_const(parts)) {
        at += part.waitMs;
        const QByteArray answer = part.bytes;
        const auto send = [this, relay, direction, number, answer] {
            if (relay && relay->Answer(direction, answer))
                Q_EMIT RuleAnswered(direction, number, answer);
        };
        if (at <= 0)
            send();
        else
            QTimer::singleShot(int(at), this, send);
    }
    return true;
}
