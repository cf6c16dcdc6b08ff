#include "platform/cchecksumrule.h"

#include <QRegularExpression>

std::unique_ptr<CChecksumRule> CChecksumRule::Parse(const QString &text, QString *error)
{
    std::unique_ptr<CChecksumRule> rule(new CChecksumRule);
    const QString name = text.section(QLatin1Char(':'), 0, 0).trimmed();
    rule->m_pChecksum = CChecksum::Find(name);
    if (!rule->m_pChecksum) {
        *error = QStringLiteral("不明なﾁｪｯｸｻﾑです: %1 (使えるもの: %2)").arg(name, CChecksum::Names().join(QLatin1Char(' ')));
        return nullptr;
    }
    rule->m_bAscii = rule->m_pChecksum->Parameters().kind == CChecksum::KIND_LRC_ASCII;
    static const QRegularExpression number(QStringLiteral("^(from|end)=(\\d{1,6})$"));
    static const QRegularExpression hex(QStringLiteral("^before=((?:[0-9A-Fa-f]{2}){1,8})$"));
    for (const QString &option : text.section(QLatin1Char(':'), 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString word = option.trimmed().toLower();
        if (const QRegularExpressionMatch match = number.match(word); match.hasMatch())
            (match.captured(1) == QStringLiteral("from") ? rule->m_nFrom : rule->m_nEndLess) = match.captured(2).toInt();
        else if (const QRegularExpressionMatch match = hex.match(word); match.hasMatch())
            rule->m_terminator = QByteArray::fromHex(match.captured(1).toLatin1());
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
    const qsizetype end = Place(telegram) - m_nEndLess;
    const QByteArray covered = end > m_nFrom ? telegram.mid(m_nFrom, end - m_nFrom) : QByteArray();
    return m_pChecksum->ValueBytes(m_pChecksum->Compute(covered), m_bBigEndian, m_bAscii);
}

QByteArray CChecksumRule::Apply(const QByteArray &telegram) const
{
    QByteArray placed = telegram;
    placed.insert(Place(telegram), Value(telegram));
    return placed;
}
