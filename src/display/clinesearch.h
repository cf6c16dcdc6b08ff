// Finds a text or a byte sequence in the lines of a message window's line store.
#pragma once

#include "display/clinestore.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

class CLineSearch
{
public:
    enum Mode { Text, Hex };
    // A match: first column and number of characters.
    struct Span
    {
        qsizetype start = 0;
        qsizetype length = 0;
        friend bool operator==(const Span &, const Span &) = default;
    };

    // Sets what to find. In Hex mode the pattern is hex digits, two a byte, blanks between bytes
    // allowed; anything else makes it invalid, and an invalid pattern finds nothing.
    void Set(const QString &pattern, Mode mode);
    bool IsValid() const { return m_valid; }
    // True when there is something valid to find.
    bool IsActive() const { return m_valid && !m_text.isEmpty(); }

    // Every occurrence counts, overlapping ones too. In Hex mode a match starts on a byte: in a hex
    // line at an even distance from its first digit, in a line shown as text on the bytes it shows,
    // in other lines (after the stamp) at an even distance from the start of its run of hex digits.
    int Count(const CLineStore::Line &line) const;
    // The matches that overlap columns [from, to), in order; for a line shown as text also those
    // that began on an earlier line of the same telegram and go on into this one.
    std::vector<Span> Find(const CLineStore::Line &line, qsizetype from, qsizetype to) const;
    // The match with the given index in the line (0 first), or a span of length 0.
    Span Nth(const CLineStore::Line &line, int index) const;

private:
    // Calls `found` for each match overlapping [from, to) in order until it returns false; with
    // `continued`, also for the ones that began on an earlier line (else each counts once, on its first).
    void Each(const CLineStore::Line &line, qsizetype from, qsizetype to,
              const std::function<bool(Span)> &found, bool continued = false) const;
    void EachText(const CLineStore::Line &line, qsizetype from, qsizetype to,
                  const std::function<bool(Span)> &found) const;
    void EachRaw(const CLineStore::Line &line, qsizetype from, qsizetype to,
                 const std::function<bool(Span)> &found, bool continued) const;

    Mode m_mode = Text;
    bool m_valid = true;
    QString m_text;        // what is looked for in the text (hex: the upper-case digits)
    QByteArray m_latin1;   // the same as Latin-1 bytes; empty when it has characters beyond Latin-1
    QByteArray m_bytes;    // Hex: the bytes
};
