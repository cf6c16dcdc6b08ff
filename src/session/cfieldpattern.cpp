#include "session/cfieldpattern.h"

namespace {

// Characters that are themselves outside a class: ASCII, printable and not special anywhere.
bool Plain(QChar c)
{
    return c.unicode() > 0x20 && c.unicode() < 0x7F && !QStringView(u"\\^$.|?*+()[]{}#").contains(c);
}

}  // namespace

bool CFieldPattern::Parse(const QString &pattern)
{
    qsizetype i = 0;
    QByteArray head;
    while (i < pattern.size() && Plain(pattern[i]))
        head += char(pattern[i++].unicode());
    if (pattern.mid(i, 3) == QStringLiteral("(\\d")) {
        m_class.fill(false);
        for (char c = '0'; c <= '9'; ++c)
            m_class[size_t(c)] = true;
        i += 3;
    } else if (pattern.mid(i, 2) == QStringLiteral("([")) {
        i += 2;
        std::array<bool, 128> set{};
        bool any = false;
        // Plain characters and ranges, no escape, negation or nested bracket.
        while (i < pattern.size() && pattern[i] != u']') {
            const QChar c = pattern[i];
            if (c.unicode() <= 0x20 || c.unicode() >= 0x7F || c == u'\\' || c == u'[' || (c == u'^' && !any))
                return false;
            if (i + 2 < pattern.size() && pattern[i + 1] == u'-' && pattern[i + 2] != u']') {
                const QChar last = pattern[i + 2];
                if (last.unicode() <= 0x20 || last.unicode() >= 0x7F || last == u'\\' || last == u'[' ||
                    last.unicode() < c.unicode())
                    return false;
                for (char16_t k = c.unicode(); k <= last.unicode(); ++k)
                    set[k] = true;
                i += 3;
            } else {
                set[c.unicode()] = true;
                ++i;
            }
            any = true;
        }
        if (!any || i >= pattern.size())
            return false;
        ++i;  // ]
        m_class = set;
    } else {
        return false;
    }
    if (i + 1 >= pattern.size() || (pattern[i] != u'+' && pattern[i] != u'*') || pattern[i + 1] != u')')
        return false;
    const bool oneOrMore = pattern[i] == u'+';
    i += 2;
    QByteArray tail;
    while (i < pattern.size() && Plain(pattern[i]))
        tail += char(pattern[i++].unicode());
    if (i != pattern.size())
        return false;
    m_head = head;
    m_tail = tail;
    m_bOneOrMore = oneOrMore;
    return true;
}

bool CFieldPattern::HoldsAt(QStringView subject, qsizetype at, const QByteArray &text)
{
    if (subject.size() - at < text.size())
        return false;
    for (qsizetype k = 0; k < text.size(); ++k) {
        if (subject[at + k].unicode() != char16_t(static_cast<unsigned char>(text[k])))
            return false;
    }
    return true;
}

bool CFieldPattern::Find(QStringView subject, qsizetype from, qsizetype *begin, qsizetype *groupBegin,
                         qsizetype *groupEnd, qsizetype *end) const
{
    const qsizetype least = m_bOneOrMore ? 1 : 0;
    for (qsizetype at = from; at + m_head.size() + least + m_tail.size() <= subject.size(); ++at) {
        if (!HoldsAt(subject, at, m_head))
            continue;
        const qsizetype first = at + m_head.size();
        qsizetype last = first;
        while (last < subject.size() && InClass(subject[last].unicode()))
            ++last;
        // Given back one at a time, as the backtracking search does, until the tail follows.
        for (qsizetype stop = last; stop - first >= least; --stop) {
            if (HoldsAt(subject, stop, m_tail)) {
                *begin = at;
                *groupBegin = first;
                *groupEnd = stop;
                *end = stop + m_tail.size();
                return true;
            }
        }
    }
    return false;
}
