#include "session/creplymatcher.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

void CReplyMatcher::SetRules(const QList<CReplyRule> &rules)
{
    m_rules.clear();
    m_contains.clear();
    m_low.fill(0);
    m_high.fill(0);
    m_startsWith.fill(0);
    m_pairs.fill(0);
    for (int i = 0; i < rules.size() && i < kMaxRules; ++i) {
        const CReplyRule &rule = rules[i];
        Compiled c{i + 1, rule.kind, {}, {}, rule.delay};
        if (!rule.enabled || !rule.Check().isEmpty() || !CReplyRule::Decode(rule.matchText, rule.match, &c.match) ||
            !CReplyRule::Decode(rule.replyText, rule.reply, &c.reply))
            continue;
        if (c.kind == CReplyRule::KindContains) {
            const auto first = static_cast<unsigned char>(c.match[0]);
            // Eight buckets by the high nibble: exact for bytes that share no bucket, and a false
            // candidate is only checked, never taken.
            const std::uint8_t bucket = std::uint8_t(1u << ((first >> 4) & 7));
            m_low[first & 15] |= bucket;
            m_high[first >> 4] |= bucket;
            m_startsWith[first] |= std::uint64_t(1) << m_contains.size();
            for (int second = 0; second < 256; ++second) {
                if (c.match.size() == 1 || static_cast<unsigned char>(c.match[1]) == second) {
                    const int pair = first << 8 | second;
                    m_pairs[size_t(pair >> 6)] |= std::uint64_t(1) << (pair & 63);
                }
            }
            m_contains.push_back(int(m_rules.size()));
        }
        m_rules.push_back(std::move(c));
    }
}

bool CReplyMatcher::HoldsAt(const unsigned char *data, int length, int at, int containsIndex) const
{
    const QByteArray &m = m_rules[size_t(m_contains[size_t(containsIndex)])].match;
    return length - at >= m.size() && std::memcmp(data + at, m.constData(), size_t(m.size())) == 0;
}

namespace {

// Positions of candidate bytes in 16 bytes at `p`, as a bit mask.
#if defined(__x86_64__)
__attribute__((target("ssse3"))) unsigned CandidatesSsse3(const unsigned char *p, __m128i low, __m128i high)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i lo = _mm_shuffle_epi8(low, _mm_and_si128(v, nibble));
    const __m128i hi = _mm_shuffle_epi8(high, _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
    const __m128i hit = _mm_cmpeq_epi8(_mm_and_si128(lo, hi), _mm_setzero_si128());
    return ~unsigned(_mm_movemask_epi8(hit)) & 0xFFFFu;
}

bool HasSsse3()
{
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif

}  // namespace

std::uint64_t CReplyMatcher::FindContained(const unsigned char *data, int length) const
{
    const std::uint64_t all = m_contains.size() == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << m_contains.size()) - 1;
    std::uint64_t found = 0;
    const auto check = [&](int at) {
        if (at + 1 < length) {
            const int pair = data[at] << 8 | data[at + 1];
            if (!((m_pairs[size_t(pair >> 6)] >> (pair & 63)) & 1))
                return;
        }
        std::uint64_t open = m_startsWith[data[at]] & ~found;
        while (open) {
            const int k = __builtin_ctzll(open);
            open &= open - 1;
            if (HoldsAt(data, length, at, k))
                found |= std::uint64_t(1) << k;
        }
    };
    int at = 0;
#if defined(__x86_64__)
    if (HasSsse3()) {
        const __m128i low = _mm_load_si128(reinterpret_cast<const __m128i *>(m_low.data()));
        const __m128i high = _mm_load_si128(reinterpret_cast<const __m128i *>(m_high.data()));
        for (; at + 16 <= length && found != all; at += 16) {
            unsigned mask = CandidatesSsse3(data + at, low, high);
            while (mask) {
                check(at + __builtin_ctz(mask));
                mask &= mask - 1;
            }
        }
    }
#endif
    for (; at < length && found != all; ++at) {
        if (m_low[data[at] & 15] & m_high[data[at] >> 4])
            check(at);
    }
    return found;
}

int CReplyMatcher::Match(const unsigned char *data, int length) const
{
    bool searched = false;
    std::uint64_t contained = 0;
    int containsIndex = 0;
    for (const Compiled &rule : m_rules) {
        const int size = int(rule.match.size());
        const char *m = rule.match.constData();
        bool holds = false;
        switch (rule.kind) {
        case CReplyRule::KindEquals: holds = size == length && std::memcmp(data, m, size_t(size)) == 0; break;
        case CReplyRule::KindStartsWith: holds = size <= length && std::memcmp(data, m, size_t(size)) == 0; break;
        case CReplyRule::KindEndsWith:
            holds = size <= length && std::memcmp(data + length - size, m, size_t(size)) == 0;
            break;
        case CReplyRule::KindContains:
            if (!searched) {
                contained = FindContained(data, length);
                searched = true;
            }
            holds = (contained >> containsIndex++) & 1;
            break;
        default: break;
        }
        if (holds)
            return rule.number;
    }
    return 0;
}

const QByteArray &CReplyMatcher::Reply(int number) const
{
    for (const Compiled &rule : m_rules) {
        if (rule.number == number)
            return rule.reply;
    }
    return m_none;
}

int CReplyMatcher::Delay(int number) const
{
    for (const Compiled &rule : m_rules) {
        if (rule.number == number)
            return rule.delay;
    }
    return 0;
}
