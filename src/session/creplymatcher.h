// The reply rules made ready for the receive path: decoded bytes (a reply with its checksum in
// place), one pass over a telegram that finds every "contains" rule at once, and a slower path for
// the rules that match a telegram with its checksum left out.
#pragma once

#include "session/creplyrule.h"

#include <QList>

#include <array>
#include <cstdint>
#include <vector>

class CReplyMatcher
{
public:
    static constexpr int kMaxRules = 64;

    // Takes the usable enabled rules (at most kMaxRules; the rest and the unusable ones are left out).
    void SetRules(const QList<CReplyRule> &rules);
    // No rule to try: the receive path skips matching.
    bool IsEmpty() const { return m_rules.empty(); }

    // The number (from 1, the rule's row in the table) of the first rule whose match holds for the
    // block, 0 when none does. With `copy`, the block is also copied there (`length` bytes), piece by
    // piece right after each piece is searched, so that it is read from memory once for both.
    int Match(const unsigned char *data, int length, unsigned char *copy = nullptr) const;
    // The reply bytes and the delay of rule `number`.
    const QByteArray &Reply(int number) const;
    int Delay(int number) const;

private:
    // A rule that matches without the received checksum has its kind moved up by this, so that the
    // fast path's switch passes it on to HoldsWithoutChecksum.
    static constexpr int kWithoutChecksum = 4;
    // 64 bytes, a cache line a rule for the fast path.
    struct Compiled
    {
        int number;
        int kind;
        QByteArray match;
        QByteArray reply;
        int delay;
        int checksum;  // index into m_checksums of a rule matching without the received checksum
    };
    static_assert(sizeof(void *) != 8 || sizeof(Compiled) == 64);
    // The received checksum a rule leaves out: its bytes, before the terminator when the block ends
    // with it, else at the end.
    struct LeftOut
    {
        int bytes;
        QByteArray terminator;
    };
    bool HoldsWithoutChecksum(const Compiled &rule, const unsigned char *data, int length) const;
    // Bit i set when contains rule i (in m_contains order) occurs in the block.
    std::uint64_t FindContained(const unsigned char *data, int length, unsigned char *copy, int *copied) const;
    bool HoldsAt(const unsigned char *data, int length, int at, int containsIndex) const;
    // Match, with the bytes copied so far (from the start) counted in *copied.
    int MatchCopying(const unsigned char *data, int length, unsigned char *copy, int *copied) const;

    std::vector<Compiled> m_rules;
    std::vector<LeftOut> m_checksums;
    std::vector<int> m_contains;  // indexes into m_rules of the contains rules
    int m_shortestContained = 0;   // bytes of the shortest contains match: a shorter block needs no scan
    // Candidate first bytes, as nibble tables for the vector scan: byte b may start a contained
    // match when m_low[b & 15] & m_high[b >> 4] is not 0.
    alignas(16) std::array<std::uint8_t, 16> m_low{};
    alignas(16) std::array<std::uint8_t, 16> m_high{};
    // For each byte value, the contains rules (bits over m_contains) whose match starts with it.
    std::array<std::uint64_t, 256> m_startsWith{};
    // Bit (b0 << 8 | b1) set when some contains match starts with the bytes b0 b1 (a one-byte match
    // sets every pair it starts): a candidate whose pair is clear is passed over without a compare.
    std::array<std::uint64_t, 1024> m_pairs{};
    QByteArray m_none;
};
