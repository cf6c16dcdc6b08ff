#include "display/cdumpmodel.h"

#include "display/cdumpformat.h"
#include "platform/chexconv.h"

#include <algorithm>
#include <cstring>

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0;
}

}  // namespace

CDumpModel::Source CDumpModel::SourceOf(const CLineStore::Line &line)
{
    Source source;
    if (!IsData(line))
        return source;
    if (!line.hexPending.isEmpty()) {
        source.data = line.hexPending.constData();
        source.size = line.hexPending.size();
    } else if (line.rawEnd >= 0) {
        source.data = line.raw.constData() + line.rawBegin;
        source.size = line.raw.size() - line.rawBegin;
    } else {
        const qsizetype headSize = line.head.size();
        source.hex = true;
        if (line.body >= headSize) {
            source.data = line.tail.constData() + (line.body - headSize);
            source.size = (line.tail.size() - (line.body - headSize)) / 2;
        } else {
            source.keep = line.Mid(line.body, line.Length()).toLatin1();
            source.data = source.keep.constData();
            source.size = source.keep.size() / 2;
        }
    }
    return source;
}

QByteArray CDumpModel::Copy(const Source &source, qsizetype from, qsizetype count)
{
    from = qBound<qsizetype>(0, from, source.size);
    count = qBound<qsizetype>(0, count, source.size - from);
    if (!source.hex)
        return QByteArray(source.data + from, count);
    QByteArray bytes(count, Qt::Uninitialized);
    const char *digits = source.data + 2 * from;
    for (qsizetype i = 0; i < count; ++i)
        bytes[i] = char(HexValue(digits[2 * i]) << 4 | HexValue(digits[2 * i + 1]));
    return bytes;
}

int CDumpModel::CountIn(const Source &source, const QByteArray &pattern, const QByteArray &hexPattern,
                        std::vector<qsizetype> *offsets)
{
    if (pattern.isEmpty())
        return 0;
    const QByteArray &needle = source.hex ? hexPattern : pattern;
    const qsizetype end = source.hex ? 2 * source.size : source.size;
    int count = 0;
    qsizetype at = 0;
    while (end - at >= needle.size()) {
        const void *hit = memmem(source.data + at, size_t(end - at), needle.constData(), size_t(needle.size()));
        if (!hit)
            break;
        const qsizetype pos = static_cast<const char *>(hit) - source.data;
        at = pos + 1;
        if (source.hex && pos % 2 != 0)
            continue;  // digits of two bytes
        ++count;
        if (offsets)
            offsets->push_back(source.hex ? pos / 2 : pos);
    }
    return count;
}

bool CDumpModel::Sync()
{
    const qint64 first = m_store.FirstSerial();
    const qint64 end = first + m_store.Count();
    bool changed = false;
    while (!m_all.empty() && m_all.front().serial < first) {
        m_all.pop_front();
        changed = true;
        if (m_all.empty())
            m_lastWhen = 0;  // cleared (or all gone): the next telegram has none before it to count from
    }
    if (m_nextSerial < first) {
        m_nextSerial = first;
        m_lastWhen = 0;
        changed = true;
    }
    for (; m_nextSerial < end; ++m_nextSerial) {
        changed = true;
        const CLineStore::Line &line = m_store.Peek(int(m_nextSerial - first));
        // A later line of a telegram shown as text shares its bytes with the first.
        if (line.rawEnd >= 0 && line.rawBegin > 0 && !m_all.empty() && m_all.back().data
            && m_all.back().serial + m_all.back().lines == m_nextSerial
            && FirstLine(m_all.back()).raw.isSharedWith(line.raw)) {
            ++m_all.back().lines;
            continue;
        }
        Telegram telegram;
        telegram.serial = m_nextSerial;
        telegram.direction = line.direction;
        telegram.data = IsData(line);
        telegram.mark = line.mark;
        if (telegram.data) {
            const Source source = SourceOf(line);
            telegram.size = source.size;
            telegram.cut = line.rawShort;
            telegram.matches = CountIn(source, m_pattern, m_hexPattern, nullptr);
            m_total += telegram.matches;
            if (line.when > 0 && m_lastWhen > 0)
                telegram.gapUs = line.when - m_lastWhen;
            if (line.when > 0)
                m_lastWhen = line.when;
        }
        m_all.push_back(telegram);
    }
    if (changed)
        Rebuild();
    return changed;
}

void CDumpModel::SetFilter(char direction, bool matchingOnly)
{
    m_direction = direction;
    m_matchingOnly = matchingOnly;
    Rebuild();
}

void CDumpModel::SetPattern(const QByteArray &pattern)
{
    m_pattern = pattern;
    m_hexPattern = pattern.toHex().toUpper();
    m_matchesSerial = -1;
    Recount();
    Rebuild();
}

void CDumpModel::SetChecksumCheck(const CChecksumCheck *check)
{
    m_pCheck = check;
    m_fieldSerial = -1;
    for (Telegram &telegram : m_all)
        telegram.verdict = 0;
}

void CDumpModel::Recount()
{
    for (Telegram &telegram : m_all)
        telegram.matches = telegram.data ? CountIn(SourceOf(FirstLine(telegram)), m_pattern, m_hexPattern, nullptr) : 0;
}

void CDumpModel::Rebuild()
{
    m_shown.clear();
    m_firstRows.clear();
    m_matchesBefore.clear();
    m_rowCount = 0;
    m_total = 0;
    const bool matchingOnly = m_matchingOnly && !m_pattern.isEmpty();
    for (size_t i = 0; i < m_all.size(); ++i) {
        const Telegram &telegram = m_all[i];
        const bool passes = !m_direction || (m_direction == CLineStore::kMarks ? telegram.mark : telegram.direction == m_direction);
        if (!passes || (matchingOnly && telegram.matches == 0))
            continue;
        m_shown.push_back(int(i));
        m_firstRows.push_back(m_rowCount);
        m_matchesBefore.push_back(m_total);
        m_rowCount += RowsOf(Count() - 1);
        m_total += telegram.matches;
    }
}

int CDumpModel::RowsOf(int shown) const
{
    const Telegram &telegram = At(shown);
    return 1 + (telegram.data ? int(CDumpFormat::RowCount(telegram.size)) : 0);
}

CDumpModel::Row CDumpModel::RowAt(int row) const
{
    Row result;
    if (row < 0 || row >= m_rowCount)
        return result;
    const auto next = std::upper_bound(m_firstRows.begin(), m_firstRows.end(), row);
    result.telegram = int(next - m_firstRows.begin()) - 1;
    const int within = row - m_firstRows[size_t(result.telegram)];
    if (within == 0)
        return result;
    const qsizetype size = At(result.telegram).size;
    result.offset = qsizetype(within - 1) * CDumpFormat::kRowBytes;
    result.kind = result.offset < size ? Bytes : End;
    if (result.kind == End)
        result.offset = size;
    return result;
}

QString CDumpModel::Lead(int shown) const
{
    const CLineStore::Line &line = FirstLine(At(shown));
    return line.body >= 0 ? line.Mid(0, line.body) : line.Text();
}

QString CDumpModel::RowText(int row)
{
    const Row at = RowAt(row);
    if (at.telegram < 0)
        return QString();
    const Telegram &telegram = At(at.telegram);
    if (at.kind == Heading) {
        if (!telegram.data)
            return m_store.At(int(telegram.serial - m_store.FirstSerial())).Text();
        return CDumpFormat::Header(Lead(at.telegram), telegram.size, telegram.gapUs, Mark(Verdict(at.telegram)),
                                   telegram.cut);
    }
    char text[CDumpFormat::kRowWidth];
    const QByteArray bytes = at.kind == Bytes ? BytesOf(at.telegram, at.offset, CDumpFormat::kRowBytes) : QByteArray();
    return QString::fromLatin1(text, CDumpFormat::FormatRow(bytes, at.offset, text));
}

QByteArray CDumpModel::BytesOf(int shown, qsizetype from, qsizetype count) const
{
    return Copy(SourceOf(FirstLine(At(shown))), from, count);
}

std::vector<qsizetype> CDumpModel::Matches(int shown) const
{
    if (At(shown).matches == 0)
        return {};
    if (m_matchesSerial != At(shown).serial) {
        m_matches.clear();
        CountIn(SourceOf(FirstLine(At(shown))), m_pattern, m_hexPattern, &m_matches);
        m_matchesSerial = At(shown).serial;
    }
    return m_matches;
}

qint64 CDumpModel::MatchesBefore(int shown) const
{
    return shown < Count() ? m_matchesBefore[size_t(shown)] : m_total;
}

CChecksumCheck::Verdict CDumpModel::Verdict(int shown)
{
    Telegram &telegram = m_all[size_t(m_shown[size_t(shown)])];
    if (!m_pCheck || telegram.direction != 'R' || !telegram.data || telegram.cut)
        return CChecksumCheck::NotJudged;
    if (telegram.verdict == 0)
        telegram.verdict = quint8(m_pCheck->Judge(BytesOf(shown)).verdict + 1);
    return CChecksumCheck::Verdict(telegram.verdict - 1);
}

CChecksumCheck::Field CDumpModel::FieldOf(int shown)
{
    if (Verdict(shown) == CChecksumCheck::NotJudged)
        return CChecksumCheck::Field();
    if (m_fieldSerial != At(shown).serial) {
        m_field = m_pCheck->FieldOf(BytesOf(shown));
        m_fieldSerial = At(shown).serial;
    }
    return m_field;
}

QString CDumpModel::Mark(CChecksumCheck::Verdict verdict)
{
    switch (verdict) {
    case CChecksumCheck::Good:
        return QStringLiteral("ﾁｪｯｸｻﾑ正常");
    case CChecksumCheck::Bad:
        return QStringLiteral("ﾁｪｯｸｻﾑ異常");
    default:
        return QString();
    }
}

QByteArray CDumpModel::Text()
{
    QByteArray text;
    for (int shown = 0; shown < Count(); ++shown) {
        text += RowText(FirstRow(shown)).toUtf8();
        text += '\n';
        if (At(shown).data)
            text += CDumpFormat::Dump(BytesOf(shown));
    }
    return text;
}

QByteArray CDumpModel::EntryText(const std::vector<CLineStore::Line> &lines, qint64 *previousWhen,
                                 const CChecksumCheck *check)
{
    QByteArray text;
    if (lines.empty())
        return text;
    const CLineStore::Line &line = lines.front();
    if (!IsData(line)) {
        for (const CLineStore::Line &each : lines)
            text += each.Utf8();
        return text;
    }
    const Source source = SourceOf(line);
    const QByteArray bytes = Copy(source, 0, source.size);
    const qint64 gap = line.when > 0 && *previousWhen > 0 ? line.when - *previousWhen : -1;
    if (line.when > 0)
        *previousWhen = line.when;
    CChecksumCheck::Verdict verdict = CChecksumCheck::NotJudged;
    if (check && line.direction == 'R' && !line.rawShort)
        verdict = check->Judge(bytes).verdict;
    text += CDumpFormat::Header(line.Mid(0, line.body), bytes.size(), gap, Mark(verdict), line.rawShort).toUtf8();
    text += '\n';
    text += CDumpFormat::Dump(bytes);
    return text;
}
