// Judges the checksum that ends a received telegram in the History's lines.
#include "display/cchecksumcheck.h"

#include "platform/chexconv.h"

#include <algorithm>

CChecksumCheck::CChecksumCheck(std::unique_ptr<CChecksumRule> rule, qsizetype cutLength)
    : m_pRule(std::move(rule)), m_cutLength(cutLength)
{
}

std::unique_ptr<CChecksumCheck> CChecksumCheck::Create(const QString &rule, QString *error, qsizetype cutLength)
{
    std::unique_ptr<CChecksumRule> parsed = CChecksumRule::Parse(rule, error);
    if (!parsed)
        return nullptr;
    return std::unique_ptr<CChecksumCheck>(new CChecksumCheck(std::move(parsed), cutLength));
}

QStringList CChecksumCheck::Suggestions()
{
    return QStringList{QStringLiteral("CRC-16/MODBUS:le"), QStringLiteral("LRC/ASCII:from=1,before=0D0A")}
           + CChecksum::Names();
}

CChecksumCheck::Result CChecksumCheck::Judge(const QByteArray &telegram) const
{
    Result result;
    if (telegram.size() >= m_cutLength)
        return result;
    const qsizetype place = m_pRule->Place(telegram);
    const int size = m_pRule->ValueBytes();
    result.verdict = Bad;
    if (place < size)
        return result;
    result.received = telegram.mid(place - size, size);
    result.expected = m_pRule->Value(telegram.left(place - size) + telegram.mid(place));
    // Hex digits are good in either case ("fb" as "FB").
    const Qt::CaseSensitivity digitCase = m_pRule->IsAscii() ? Qt::CaseInsensitive : Qt::CaseSensitive;
    if (result.expected.compare(result.received, digitCase) == 0)
        result.verdict = Good;
    return result;
}

CChecksumCheck::Field CChecksumCheck::FieldOf(const QByteArray &telegram) const
{
    Field field;
    const qsizetype place = m_pRule->Place(telegram);
    const int size = m_pRule->ValueBytes();
    if (place < size)
        return field;
    field.sumBegin = place - size;
    field.sumEnd = place;
    // The range as Judge gives it to the rule: in the telegram without the checksum's bytes.
    field.coveredBegin = qMin<qsizetype>(m_pRule->From(), field.sumBegin);
    field.coveredEnd = qMax(field.coveredBegin, field.sumBegin - m_pRule->EndLess());
    return field;
}

CChecksumCheck::Result CChecksumCheck::Judge(const CLineStore::Line &line) const
{
    QByteArray telegram;
    return TelegramOf(line, &telegram) ? Judge(telegram) : Result();
}

bool CChecksumCheck::TelegramOf(const CLineStore::Line &line, QByteArray *bytes)
{
    if (line.direction != 'R')
        return false;
    if (line.rawEnd >= 0) {
        // Shown as text: the telegram's first line holds all its bytes, unless a zero byte ended them.
        if (line.rawBegin != 0 || line.rawShort)
            return false;
        *bytes = line.raw;
        return true;
    }
    if (!line.hexPending.isEmpty()) {
        *bytes = line.hexPending;
        return true;
    }
    if (line.body < 0)
        return false;
    const qsizetype headSize = line.head.size();
    *bytes = line.body >= headSize ? QByteArray::fromHex(line.tail.sliced(line.body - headSize))
                                   : QByteArray::fromHex(line.Mid(line.body, line.Length()).toLatin1());
    return true;
}

QString CChecksumCheck::Describe(const Result &result)
{
    if (result.verdict != Bad)
        return QString();
    if (result.received.isEmpty())
        return QStringLiteral("ﾁｪｯｸｻﾑ異常: ﾁｪｯｸｻﾑの入る長さがありません");
    QString text = QStringLiteral("ﾁｪｯｸｻﾑ異常: 正しくは %1 (受信 %2)")
                       .arg(QString::fromLatin1(result.expected.toHex().toUpper()),
                            QString::fromLatin1(result.received.toHex().toUpper()));
    // The ASCII form's digits also as they read.
    const auto digits = [](const QByteArray &b) {
        return std::all_of(b.cbegin(), b.cend(), [](char c) { return CHexConv::IsDigit(c); });
    };
    if (digits(result.expected))
        text += QStringLiteral(" \"%1\" ≠ \"%2\"")
                    .arg(QString::fromLatin1(result.expected), QString::fromLatin1(result.received));
    return text;
}
