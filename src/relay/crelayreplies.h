// What the relay does with a telegram besides forwarding it: the document's reply rules acting on
// one direction (a rule that holds answers the sender on the other side's behalf, and the telegram
// is not forwarded: part of a device simulated behind the relay), and a checksum check of both
// directions that marks the bad telegrams.
#pragma once

#include "session/creplymatcher.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <memory>

class CChecksumCheck;
class CQnDoc;
class CRelay;

class CRelayReplies : public QObject
{
    Q_OBJECT
public:
    explicit CRelayReplies(CRelay *relay, QObject *parent = nullptr);
    ~CRelayReplies() override;

    // The document's enabled rules answer telegrams of `direction` (-1: none). False with the reason
    // when the document has no rule to use.
    bool UseRules(const CQnDoc &doc, int direction, QString *error);
    // Judges the checksum ending every telegram of both directions ("CRC-16/MODBUS:le"; empty: none).
    bool CheckChecksum(const QString &rule, QString *error);

    qint64 Answered(int direction) const { return m_answered[size_t(direction)]; }
    qint64 BadChecksums(int direction) const { return m_bad[size_t(direction)]; }

Q_SIGNALS:
    // Rule `rule` answered a telegram of `direction` in place of the other side.
    void RuleAnswered(int direction, int rule, const QByteArray &answer);
    // A telegram of `direction` ends with a bad checksum: what came, what the rule gives.
    void BadChecksum(int direction, const QByteArray &received, const QByteArray &expected);

private:
    bool Intercept(int direction, const QByteArray &bytes);
    void Check(int direction, const QByteArray &bytes);

    CRelay *m_pRelay;
    CReplyMatcher m_matcher;
    int m_nDirection = -1;
    quint32 m_nAnswers[CReplyMatcher::kMaxRules] = {};
    QString m_state;
    std::unique_ptr<CChecksumCheck> m_pCheck;
    std::array<qint64, 2> m_answered{0, 0};
    std::array<qint64, 2> m_bad{0, 0};
};
