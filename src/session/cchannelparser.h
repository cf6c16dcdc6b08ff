// Reads the channels' values out of telegrams on the receive and send paths: each channel's match
// (the reply rules' matcher) selects the telegrams, then its pattern group or binary field gives the
// number. A received telegram whose checksum does not hold gives no value and is counted. A match
// several channels name is tried once a telegram, and only its channels are read when it holds; a
// plain head (equals or starts with) is tried only when the telegram's first byte is its first.
// A pattern several channels name runs once a telegram, only over a telegram that holds the plain
// text it begins with (all of them found in one pass), and from where that text first occurs.
#pragma once

#include "session/cchanneltable.h"
#include "session/cliteralfinder.h"
#include "session/cpatternrun.h"
#include "session/creplymatcher.h"

#include <QString>

#include <array>
#include <memory>
#include <utility>
#include <vector>

class CChannelValues;
class CChecksumCheck;

class CChannelParser
{
public:
    CChannelParser();
    ~CChannelParser();

    // Takes the table's usable channels and checksum; false with the reason when the checksum rule
    // cannot be read (telegrams are then read unchecked).
    bool SetTable(const CChannelTable &table, QString *error = nullptr);
    bool IsEmpty() const { return m_channels.empty(); }

    // Reads one telegram ('R' received, 'S' sent; `client` the many-clients number, 0 for none)
    // into `values` with the time `when`. Returns the number of values read.
    int Feed(char direction, int client, const unsigned char *data, int length, qint64 when, CChannelValues *values) const;

    // Channels with the same match share its matcher, and those with the same pattern its run over
    // a telegram: the matchers and patterns the table needs.
    int MatcherCount() const { return int(m_matchers.size()); }
    int PatternCount() const { return int(m_patterns.size()); }
    // The bytes every match of `pattern` begins with: its plain characters up to the first special
    // one (a leading ^ passed over), less the last when a repeat follows it; empty when the pattern
    // has alternatives or begins with something special. A telegram without them needs no run.
    static QByteArray LiteralPrefix(const QString &pattern);

private:
    struct Compiled
    {
        int index;
        int direction;
        int client;
        int source;
        int pattern;  // into m_patterns
        int group;
        int base;
        int offset;
        int type;
        bool bigEndian;
        double scale;
        double add;
    };
    // The channels that read the telegrams one match selects (or every telegram), by index into
    // m_channels: those of a pattern with a plain beginning by that beginning (in m_literals), the
    // others in `channels`. A plain head is decided here; any other match by its matcher.
    struct Selection
    {
        int matcher = -1;  // into m_matchers; -1: every telegram
        int headKind = -1;  // KindEquals or KindStartsWith with `head`; -1: ask the matcher
        QByteArray head;
        std::vector<int> channels;
        std::vector<std::pair<int, int>> byLiteral;  // (literal, channel), sorted
        std::vector<int> literalStart;  // by literal: its first entry in byLiteral (and one past the last)
    };
    struct Pattern
    {
        std::unique_ptr<CPatternRun> run;
        int literal;  // into m_literals: the plain text every match begins with; -1 for none
        bool fromLiteral;  // the search may start where that text first occurs
    };
    // What a telegram gave a pattern, found when a channel first asks for it.
    enum Outcome : signed char { Untried = 0, Failed = 1, Held = 2 };

    bool Holds(const Selection &selection, const unsigned char *data, int length) const;
    int Read(const Selection &selection, int dir, int client, const unsigned char *data, int length, qint64 when,
             CChannelValues *values) const;
    // Channel `k`'s value of the telegram into `values`; false when it gives none.
    bool ReadChannel(int k, int dir, int client, const unsigned char *data, int length, qint64 when,
                     CChannelValues *values) const;

    std::vector<Compiled> m_channels;
    std::vector<Selection> m_selections;
    // The selections tried for every telegram, and those with a plain head by its first byte.
    std::vector<int> m_everyTelegram;
    std::array<std::vector<int>, 256> m_byFirstByte;
    std::vector<std::unique_ptr<CReplyMatcher>> m_matchers;
    std::vector<Pattern> m_patterns;
    CLiteralFinder m_literals;
    std::unique_ptr<CChecksumCheck> m_pChecksum;
    // The telegram being read: where each plain beginning first occurs and those it holds (found
    // for the first selection that needs them), the telegram as Latin-1 UTF-16 (made for the first
    // run), and each pattern's run.
    mutable std::vector<int> m_literalAt;
    mutable std::vector<int> m_literalsFound;
    mutable bool m_bLiteralsFound = false;
    mutable std::vector<char16_t> m_subject;
    mutable bool m_bSubjectMade = false;
    mutable std::vector<Outcome> m_patternRun;
};
