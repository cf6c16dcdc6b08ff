#include "display/clinesearch.h"

#include "platform/chexconv.h"
#include "display/ctextdecoding.h"

#include <algorithm>
#include <cstring>

namespace {

// Every place of `needle` in [begin, end) of `haystack`, overlapping ones too, until `found` says stop.
template <typename Found>
bool EachBytes(const char *haystack, qsizetype begin, qsizetype end, const QByteArray &needle, Found found)
{
    const qsizetype n = needle.size();
    qsizetype at = begin;
    while (end - at >= n) {
        const void *hit = memmem(haystack + at, static_cast<size_t>(end - at), needle.constData(), static_cast<size_t>(n));
        if (!hit)
            break;
        const qsizetype pos = static_cast<const char *>(hit) - haystack;
        if (!found(pos))
            return false;
        at = pos + 1;
    }
    return true;
}

}  // namespace

void CLineSearch::Set(const QString &pattern, Mode mode)
{
    m_mode = mode;
    m_valid = true;
    m_bytes.clear();
    if (mode == Hex) {
        QString digits;
        digits.reserve(pattern.size());
        for (QChar c : pattern) {
            if (c.isSpace())
                continue;
            if (!CHexConv::IsDigit(c)) {
                m_valid = false;
                break;
            }
            digits.append(c.toUpper());
        }
        if (digits.size() % 2 != 0)
            m_valid = false;
        m_text = m_valid ? digits : QString();
        if (m_valid)
            m_bytes = QByteArray::fromHex(digits.toLatin1());
    } else {
        m_text = pattern;
    }
    const bool latin1 = std::all_of(m_text.cbegin(), m_text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
    m_latin1 = latin1 ? m_text.toLatin1() : QByteArray();
}

int CLineSearch::Count(const CLineStore::Line &line) const
{
    int count = 0;
    Each(line, 0, line.Length(), [&count](Span) {
        ++count;
        return true;
    });
    return count;
}

std::vector<CLineSearch::Span> CLineSearch::Find(const CLineStore::Line &line, qsizetype from, qsizetype to) const
{
    std::vector<Span> spans;
    Each(
        line, from, to,
        [&spans](Span span) {
            spans.push_back(span);
            return true;
        },
        true);
    return spans;
}

CLineSearch::Span CLineSearch::Nth(const CLineStore::Line &line, int index) const
{
    Span result;
    int seen = 0;
    Each(line, 0, line.Length(), [&](Span span) {
        if (seen++ < index)
            return true;
        result = span;
        return false;
    });
    return result;
}

void CLineSearch::Each(const CLineStore::Line &line, qsizetype from, qsizetype to,
                       const std::function<bool(Span)> &found, bool continued) const
{
    if (!IsActive() || from >= to)
        return;
    if (m_mode == Text) {
        EachText(line, from, to, found);
    } else if (!line.raw.isEmpty()) {
        EachRaw(line, from, to, found, continued);
    } else if (line.direction != 0 && line.body >= line.head.size()) {
        // A hex line: the digits are the tail from the body on; a byte starts at an even distance.
        const qsizetype base = line.head.size();
        const qsizetype first = line.body - base;
        const qsizetype n = m_latin1.size();
        const qsizetype begin = std::max(first, from - base - n + 1);
        const qsizetype end = std::min<qsizetype>(line.tail.size(), to - base + n - 1);
        EachBytes(line.tail.constData(), std::max<qsizetype>(0, begin), end, m_latin1, [&](qsizetype pos) {
            if ((pos - first) % 2 != 0)
                return true;
            return found(Span{base + pos, n});
        });
    } else {
        // Hex digits in free text: a match starts where a byte of its run of digits starts.
        EachText(line, std::max<qsizetype>(from, line.body), to, [&](Span span) {
            if (span.start < line.body)
                return true;
            qsizetype start = span.start;
            while (start > 0 && CHexConv::IsDigit(line.At(start - 1)))
                --start;
            if ((span.start - start) % 2 != 0)
                return true;
            return found(span);
        });
    }
}

void CLineSearch::EachText(const CLineStore::Line &line, qsizetype from, qsizetype to,
                           const std::function<bool(Span)> &found) const
{
    const qsizetype n = m_text.size();
    const qsizetype headSize = line.head.size();
    const QStringView head(line.head);
    // Wholly in the head.
    for (qsizetype at = std::max<qsizetype>(0, from - n + 1); at < to;) {
        const qsizetype pos = head.indexOf(m_text, at);
        if (pos < 0 || pos >= to)
            break;
        if (!found(Span{pos, n}))
            return;
        at = pos + 1;
    }
    // Across the seam between head and tail.
    if (headSize > 0 && !line.tail.isEmpty() && n > 1) {
        const qsizetype before = std::min(n - 1, headSize);
        const qsizetype after = std::min(n - 1, line.tail.size());
        const QString seam = head.right(before).toString() + QString::fromLatin1(line.tail.left(after));
        for (qsizetype at = 0; at < before;) {
            const qsizetype pos = seam.indexOf(m_text, at);
            if (pos < 0 || pos >= before)
                break;
            const qsizetype column = headSize - before + pos;
            if (column + n > from && column < to && !found(Span{column, n}))
                return;
            at = pos + 1;
        }
    }
    if (m_latin1.isEmpty())
        return;  // characters beyond Latin-1 never stand in the tail
    // Wholly in the tail.
    const qsizetype begin = std::max<qsizetype>(0, from - headSize - n + 1);
    const qsizetype end = std::min<qsizetype>(line.tail.size(), to - headSize + n - 1);
    EachBytes(line.tail.constData(), begin, end, m_latin1, [&](qsizetype pos) { return found(Span{headSize + pos, n}); });
}

void CLineSearch::EachRaw(const CLineStore::Line &line, qsizetype from, qsizetype to,
                          const std::function<bool(Span)> &found, bool continued) const
{
    // The bytes are found in the telegram, then placed on the characters this line's bytes were
    // decoded into: `offsets` gives the byte each UTF-16 unit came from (a control mark's units
    // and a surrogate pair's share one).
    const qsizetype own = line.rawBegin;
    const qsizetype ownEnd = line.RawEnd();
    std::vector<qint32> offsets;
    const bool controls = line.decoding & CLineStore::Line::kControlMarks;
    const auto encoding = static_cast<CTextDecoding::Encoding>(line.decoding & ~CLineStore::Line::kControlMarks);
    CTextDecoding::Decode(QByteArrayView(line.raw).sliced(own, ownEnd - own), encoding, controls, &offsets);
    const qsizetype length = line.Length();
    const qsizetype n = m_bytes.size();
    // The first unit of the character byte `at` (of this line's) belongs to.
    auto unitOf = [&](qsizetype at) {
        const auto last = std::upper_bound(offsets.begin(), offsets.end(), static_cast<qint32>(at)) - 1;
        return std::lower_bound(offsets.begin(), last, *last) - offsets.begin();
    };
    auto column = [&](qsizetype unit) { return std::min(length, line.body + unit); };
    const qsizetype begin = continued ? std::max<qsizetype>(0, own - n + 1) : own;
    const qsizetype end = std::min<qsizetype>(line.raw.size(), ownEnd + n - 1);
    EachBytes(line.raw.constData(), begin, end, m_bytes, [&](qsizetype pos) {
        if (pos >= ownEnd)
            return false;  // begins on a later line
        // Begun on an earlier line: marked from this line's start.
        const qsizetype start = pos < own ? line.body : column(unitOf(pos - own));
        const qsizetype stop = pos + n - own;
        const qsizetype endColumn =
            stop >= ownEnd - own ? length
                                 : column(std::lower_bound(offsets.begin(), offsets.end(), static_cast<qint32>(stop)) - offsets.begin());
        const qsizetype finish = std::max(start + 1, endColumn);
        if (start >= to && !(start == length && to == length))  // a match on the line break is at the end
            return false;
        if (finish > from)
            return found(Span{start, std::min(finish, length) - start});
        return true;
    });
}
