#include "platform/cchecksumrule.h"

#include <QRegularExpression>

std::unique_ptr<CChecksumRule> CChecksumRule::Parse(const QString &text, QString *error)
{
    QString unwanted;  // callers that know the rule is good pass no place for the reason
    if (!error)
        error = &unwanted;
    std::unique_ptr<CChecksumRule> rule(new CChecksumRule);
    const QString name = text.section(QLatin1Char(':'), 0, 0).trimmed();
    rule->m_pChecksum = CChecksum::Find(name, error);
    if (!rule->m_pChecksum && !error->isEmpty())
        return nullptr;
    if (!rule->m_pChecksum) {
        *error = QStringLiteral("不明なﾁｪｯｸｻﾑです: %1 (使えるもの: %2)").arg(name, CChecksum::Names().join(QLatin1Char(' ')));
        return nullptr;
    }
    rule->m_bAscii = rule->m_pChecksum->Parameters().kind == CChecksum::KIND_LRC_ASCII;
    static const QRegularExpression number(QStringLiteral("^(from|end)=(\\d{1,6})$"));
    static const QRegularExpression hex(QStringLiteral("^(before|after|until|through)=((?:[0-9A-Fa-f]{2}){1,8})$"));
    for (const QString &option : text.section(QLatin1Char(':'), 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString word = option.trimmed().toLower();
        if (const QRegularExpressionMatch match = number.match(word); match.hasMatch())
            (match.captured(1) == QStringLiteral("from") ? rule->m_nFrom : rule->m_nEndLess) = match.captured(2).toInt();
        else if (const QRegularExpressionMatch match = hex.match(word); match.hasMatch()) {
            const QByteArray bytes = QByteArray::fromHex(match.captured(2).toLatin1());
            const QString key = match.captured(1);
            if (key == QStringLiteral("before"))
                rule->m_terminator = bytes;
            else if (key == QStringLiteral("after"))
                rule->m_after = bytes;
            else {
                rule->m_until = bytes;
                rule->m_bThrough = key == QStringLiteral("through");
            }
        }
        else if (word == QStringLiteral("le") || word == QStringLiteral("be"))
            rule->m_bBigEndian = word == QStringLiteral("be");
        else if (word == QStringLiteral("ascii") || word == QStringLiteral("bin"))
            rule->m_bAscii = word == QStringLiteral("ascii");
        else {
            *error = QStringLiteral("ﾁｪｯｸｻﾑの指定 \"%1\" が分かりません (from=n, end=m, before=16進, le, be, ascii, bin)").arg(option);
            return nullptr;
        }
    }
    rule->m_strText = text.trimmed();
    return rule;
}

qsizetype CChecksumRule::Place(const QByteArray &telegram) const
{
    return !m_terminator.isEmpty() && telegram.endsWith(m_terminator) ? telegram.size() - m_terminator.size() : telegram.size();
}

QByteArray CChecksumRule::Value(const QByteArray &telegram) const
{
    // The range: from byte m_nFrom up to m_nEndLess bytes before the checksum's place (none when
    // the telegram is shorter).
    qsizetype start = m_nFrom;
    qsizetype end = Place(telegram) - m_nEndLess;
    // Markers: the range starts after the first `after` bytes (none: it covers nothing) and stops
    // before (or after, `through`) the first `until` bytes that follow (none: at its usual end).
    if (!m_after.isEmpty()) {
        const qsizetype at = end > start ? QByteArrayView(telegram).first(end).indexOf(m_after, start) : -1;
        start = at < 0 ? end : at + m_after.size();
    }
    if (!m_until.isEmpty() && end > start) {
        const qsizetype at = QByteArrayView(telegram).first(end).indexOf(m_until, start);
        if (at >= 0)
            end = m_bThrough ? at + m_until.size() : at;
    }
    const QByteArray covered = end > start ? telegram.mid(start, end - start) : QByteArray();
    return m_pChecksum->ValueBytes(m_pChecksum->Compute(covered), m_bBigEndian, m_bAscii);
}

QByteArray CChecksumRule::Apply(const QByteArray &telegram) const
{
    QByteArray placed = telegram;
    placed.insert(Place(telegram), Value(telegram));
    return placed;
}
