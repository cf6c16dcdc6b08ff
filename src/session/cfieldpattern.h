// The shape most channels' patterns have, matched without a regular expression engine: plain text,
// one group of one character class repeated (`+` or `*`, greedy), plain text — `V12=([-0-9.]+);`,
// `T=(\d*)`. Only ASCII: plain characters that are not special, a class of plain characters and
// ranges (or \d), nothing else. Over such a pattern a backtracking search gives exactly this: the
// first place where the first text begins, the longest run of the class after it, given back one
// character at a time until the last text follows.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <array>

class CFieldPattern
{
public:
    // Takes `pattern` when it has the shape; false (and nothing taken) when it has not.
    bool Parse(const QString &pattern);

    // The first match in `subject` at or after `from`: the match [*begin, *end) and its group
    // [*groupBegin, *groupEnd). False when there is none.
    bool Find(QStringView subject, qsizetype from, qsizetype *begin, qsizetype *groupBegin, qsizetype *groupEnd,
              qsizetype *end) const;

private:
    bool InClass(char16_t c) const { return c < 128 && m_class[c]; }
    static bool HoldsAt(QStringView subject, qsizetype at, const QByteArray &text);

    QByteArray m_head;
    QByteArray m_tail;
    std::array<bool, 128> m_class{};
    bool m_bOneOrMore = true;
};
