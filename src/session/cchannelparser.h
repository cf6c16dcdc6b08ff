// Reads the channels' values out of telegrams on the receive and send paths: each channel's match
// (the reply rules' matcher) selects the telegrams, then its pattern group or binary field gives the
// number. A received telegram whose checksum does not hold gives no value and is counted. A match or
// pattern several channels name is tried once a telegram, and a pattern only over a telegram that
// holds the plain text it begins with.
#pragma once

#include "session/cchanneltable.h"
#include "session/creplymatcher.h"

#include <QRegularExpression>
#include <QString>

#include <memory>
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
        int match;  // into m_matchers; -1: every telegram
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
    struct Pattern
    {
        QRegularExpression expression;
        QByteArray literal;
    };
    // What a telegram gave a matcher or pattern, found when a channel first asks for it.
    enum Outcome : signed char { Untried = 0, Failed = 1, Held = 2 };

    std::vector<Compiled> m_channels;
    std::vector<std::unique_ptr<CReplyMatcher>> m_matchers;
    std::vector<Pattern> m_patterns;
    mutable std::vector<Outcome> m_matched;
    mutable std::vector<Outcome> m_patternRun;
    mutable std::vector<QRegularExpressionMatch> m_patternMatch;
    std::unique_ptr<CChecksumCheck> m_pChecksum;
};
