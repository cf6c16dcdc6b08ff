// The reply rules made ready for the receive path: decoded bytes (a reply with its checksum in
// place), one pass over a telegram that finds every "contains" rule at once, and a slower path for
// patterns, matches with `??` and matches with the received checksum left out, which also gives the
// bytes a reply's placeholders take from the block.
#pragma once

#include "session/creplyrule.h"
#include "session/creplytemplate.h"

#include <QList>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class CChecksumRule;

class CReplyMatcher
{
public:
    static constexpr int kMaxRules = 64;

    // Takes the usable enabled rules (at most kMaxRules; the rest and the unusable ones are left out).
    void SetRules(const QList<CReplyRule> &rules);
    // No rule to try: the receive path skips matching.
    bool IsEmpty() const { return m_rules.empty() && m_periodic.empty(); }

    // The number (from 1, the rule's row in the table) of the first rule whose match holds for the
    // block, 0 when none does. With `copy`, the block is also copied there (`length` bytes), piece by
    // piece right after each piece is searched, so that it is read from memory once for both.
    // `groups` (when given) gets the holding rule's pattern groups or the bytes under its `??`s.
    // Only the rules of `state` are tried (those of no state and those that name it).
    int Match(const unsigned char *data, int length, unsigned char *copy = nullptr,
              QList<QByteArray> *groups = nullptr, const QString &state = QString()) const;
    // The state rule `number` sets once it has answered (empty: the state stays).
    QString NextState(int number) const;
    // Some rule holds in or sets a state: the state is worth showing.
    bool UsesStates() const { return m_bStates; }
    // The periodic rules: their numbers, each with its period (Delay) and whether `state` lets it send.
    QList<int> PeriodicRules() const;
    bool HoldsIn(int number, const QString &state) const;
    // The reply bytes and the delay of rule `number` (a reply with placeholders: their source bytes).
    const QByteArray &Reply(int number) const;
    int Delay(int number) const;
    // The telegrams rule `number` answers with in `context`: its reply, or its placeholders filled
    // and the checksum put into each part; false with the reason in `why`.
    bool Answer(int number, const CReplyTemplate::Context &context, QList<CReplyTemplate::Part> *parts,
                QString *why) const;

private:
    // A rule for the slow path has its kind moved up by this, so that the fast path's switch passes
    // it on to HoldsSlowly.
    static constexpr int kSlow = 8;
    // 64 bytes, a cache line a rule for the fast path.
    struct Compiled
    {
        int number;
        int kind;
        QByteArray match;
        QByteArray reply;
        int delay;
        int slow;  // index into m_slow of a rule for the slow path
    };
    static_assert(sizeof(void *) != 8 || sizeof(Compiled) == 64);
    // What the slow path needs of a rule: the received checksum it leaves out (its bytes, before the
    // terminator when the block ends with it, else at the end; -1: none), the mask of a match with
    // `??`s (0 for any byte), or the pattern.
    struct Slow
    {
        int leftOut = -1;
        QByteArray terminator;
        QByteArray mask;
        QRegularExpression pattern;
    };
    // A reply with placeholders and the checksum to put into each of its parts.
    struct Shaped
    {
        int number;
        CReplyTemplate reply;
        std::shared_ptr<const CChecksumRule> checksum;
    };
    // `latin1` keeps the block read as Latin-1 for the next pattern (null until one needs it).
    bool HoldsSlowly(const Compiled &rule, const unsigned char *data, int length, QString *latin1,
                     QList<QByteArray> *groups) const;
    // Bit i set when contains rule i (in m_contains order) occurs in the block.
    std::uint64_t FindContained(const unsigned char *data, int length, unsigned char *copy, int *copied) const;
    bool HoldsAt(const unsigned char *data, int length, int at, int containsIndex) const;
    // Match, with the bytes copied so far (from the start) counted in *copied.
    // `allowed`: bits over m_rules of the rules the state lets be tried.
    int MatchCopying(const unsigned char *data, int length, unsigned char *copy, int *copied,
                     QList<QByteArray> *groups, std::uint64_t allowed) const;
    const Compiled *Find(int number) const;

    std::vector<Compiled> m_rules;
    std::vector<Compiled> m_periodic;
    // Every usable rule's state and next state, by number (empty for rules left out).
    std::array<QString, kMaxRules> m_states;
    std::array<QString, kMaxRules> m_nextStates;
    bool m_bStates = false;
    // The rules (bits over m_rules) that hold in no particular state.
    std::uint64_t m_anyState = 0;
    std::vector<Slow> m_slow;
    std::vector<Shaped> m_shaped;
    std::vector<int> m_contains;  // indexes into m_rules of the contains rules
    int m_shortestContained = 0;   // bytes of the shortest contains match: a shorter block needs no scan
    // The tables of the contains rules' search, made only when some rule is one (a matcher of one
    // pattern, as a command sequence's expect step holds, keeps none: there may be thousands).
    struct ContainsIndex
    {
        // Candidate first bytes, as nibble tables for the vector scan: byte b may start a contained
        // match when low[b & 15] & high[b >> 4] is not 0.
        alignas(16) std::array<std::uint8_t, 16> low{};
        alignas(16) std::array<std::uint8_t, 16> high{};
        // For each byte value, the contains rules (bits over m_contains) whose match starts with it.
        std::array<std::uint64_t, 256> startsWith{};
        // Bit (b0 << 8 | b1) set when some contains match starts with the bytes b0 b1 (a one-byte
        // match sets every pair it starts): a candidate whose pair is clear is passed over without a
        // compare.
        std::array<std::uint64_t, 1024> pairs{};
    };
    std::shared_ptr<const ContainsIndex> m_pContains;
    QByteArray m_none;
};
