#include "session/creplymatcher.h"

#include "platform/cchecksumrule.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

void CReplyMatcher::SetRules(const QList<CReplyRule> &rules)
{
    m_rules.clear();
    m_checksums.clear();
    m_contains.clear();
    m_shortestContained = 0;
    m_low.fill(0);
    m_high.fill(0);
    m_startsWith.fill(0);
    m_pairs.fill(0);
    for (int i = 0; i < rules.size() && i < kMaxRules; ++i) {
        const CReplyRule &rule = rules[i];
        Compiled c{i + 1, rule.kind, {}, {}, rule.delay, -1};
        if (!rule.enabled || !rule.Check().isEmpty() || !CReplyRule::Decode(rule.matchText, rule.match, &c.match) ||
            !CReplyRule::Decode(rule.replyText, rule.reply, &c.reply))
            continue;
        if (rule.HasChecksum()) {
            QString error;
            const std::unique_ptr<CChecksumRule> checksum = CChecksumRule::Parse(rule.checksum, &error);
            c.reply = checksum->Apply(c.reply);  // Check has parsed it
            if (rule.matchWithoutChecksum) {
                c.kind += kWithoutChecksum;
                c.checksum = int(m_checksums.size());
                m_checksums.push_back({checksum->ValueBytes(), checksum->Terminator()});
            }
        }
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
            if (m_shortestContained == 0 || c.match.size() < m_shortestContained)
                m_shortestContained = int(c.match.size());
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

// From *at on, in steps of 64 bytes, the first window holding a byte that may start a contained
// match (low[b & 15] & high[b >> 4] not 0): *at is left at the window's start and its candidates
// come back as bits; 0 once the data ends.
std::uint64_t NextWindowScalar(const unsigned char *data, int *at, int length, const std::uint8_t *low,
                               const std::uint8_t *high)
{
    for (; *at < length; *at += 64) {
        std::uint64_t mask = 0;
        const int n = std::min(64, length - *at);
        for (int i = 0; i < n; ++i) {
            const unsigned char b = data[*at + i];
            if (low[b & 15] & high[b >> 4])
                mask |= std::uint64_t(1) << i;
        }
        if (mask)
            return mask;
    }
    return 0;
}

#if defined(__x86_64__)
// The same with the two nibbles of 32 bytes at a time looked up in the tables.
__attribute__((target("avx2"))) std::uint64_t NextWindowAvx2(const unsigned char *data, int *at, int length,
                                                             const std::uint8_t *low, const std::uint8_t *high)
{
    const __m256i lowTable = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i *>(low)));
    const __m256i highTable = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i *>(high)));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    const __m256i zero = _mm256_setzero_si256();
    for (; *at + 64 <= length; *at += 64) {
        const __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + *at));
        const __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + *at + 32));
        const __m256i b0 = _mm256_and_si256(_mm256_shuffle_epi8(lowTable, _mm256_and_si256(v0, nibble)),
                                             _mm256_shuffle_epi8(highTable, _mm256_and_si256(_mm256_srli_epi16(v0, 4), nibble)));
        const __m256i b1 = _mm256_and_si256(_mm256_shuffle_epi8(lowTable, _mm256_and_si256(v1, nibble)),
                                             _mm256_shuffle_epi8(highTable, _mm256_and_si256(_mm256_srli_epi16(v1, 4), nibble)));
        const __m256i any = _mm256_or_si256(b0, b1);
        if (_mm256_testz_si256(any, any))
            continue;
        const std::uint64_t miss0 = std::uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b0, zero)));
        const std::uint64_t miss1 = std::uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(b1, zero)));
        return ~(miss0 | miss1 << 32);
    }
    return NextWindowScalar(data, at, length, low, high);
}

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

}  // namespace

std::uint64_t CReplyMatcher::FindContained(const unsigned char *data, int length, unsigned char *copy,
                                           int *copied) const
{
    const std::uint64_t all = m_contains.size() == 64 ? ~std::uint64_t(0) : (std::uint64_t(1) << m_contains.size()) - 1;
    std::uint64_t found = 0;
#if defined(__x86_64__)
    const auto next = HasAvx2() ? NextWindowAvx2 : NextWindowScalar;
#else
    const auto next = NextWindowScalar;
#endif
    // Pieces small enough to stay in the core's first cache between the search and the copy.
    constexpr int kPiece = 16 * 1024;
    for (int piece = 0; piece < length && found != all; piece += kPiece) {
        const int end = std::min(length, piece + kPiece);
        for (int window = piece; window < end && found != all; window += 64) {
            for (std::uint64_t mask = next(data, &window, end, m_low.data(), m_high.data()); mask && found != all;
                 mask &= mask - 1) {
                const int at = window + __builtin_ctzll(mask);
                // Most candidates end here: no match starts with this byte and the next.
                if (at + 1 < length) {
                    const int pair = data[at] << 8 | data[at + 1];
                    if (!((m_pairs[size_t(pair >> 6)] >> (pair & 63)) & 1))
                        continue;
                }
                for (std::uint64_t open = m_startsWith[data[at]] & ~found; open; open &= open - 1) {
                    const int k = __builtin_ctzll(open);
                    if (HoldsAt(data, length, at, k))
                        found |= std::uint64_t(1) << k;
                }
            }
        }
        if (copy) {
            std::memcpy(copy + piece, data + piece, size_t(end - piece));
            *copied = end;
        }
    }
    return found;
}

int CReplyMatcher::Match(const unsigned char *data, int length, unsigned char *copy) const
{
    int copied = 0;
    const int number = MatchCopying(data, length, copy, &copied);
    if (copy && copied < length)
        std::memcpy(copy + copied, data + copied, size_t(length - copied));
    return number;
}

int CReplyMatcher::MatchCopying(const unsigned char *data, int length, unsigned char *copy, int *copied) const
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
                contained = length >= m_shortestContained ? FindContained(data, length, copy, copied) : 0;
                searched = true;
            }
            holds = (contained >> containsIndex++) & 1;
            break;
        default: holds = HoldsWithoutChecksum(rule, data, length); break;
        }
        if (holds)
            return rule.number;
    }
    return 0;
}

bool CReplyMatcher::HoldsWithoutChecksum(const Compiled &rule, const unsigned char *data, int length) const
{
    const LeftOut &out = m_checksums[size_t(rule.checksum)];
    const QByteArrayView block(data, length);
    const qsizetype place =
        !out.terminator.isEmpty() && block.endsWith(out.terminator) ? length - out.terminator.size() : length;
    if (place < out.bytes)
        return false;
    QByteArrayView rest = block.first(place - out.bytes);
    QByteArray joined;  // the rest and the terminator, when there is one
    if (place < length) {
        joined = rest.toByteArray() + out.terminator;
        rest = joined;
    }
    switch (rule.kind - kWithoutChecksum) {
    case CReplyRule::KindEquals: return rest == rule.match;
    case CReplyRule::KindStartsWith: return rest.startsWith(rule.match);
    case CReplyRule::KindEndsWith: return rest.endsWith(rule.match);
    case CReplyRule::KindContains: return rest.contains(rule.match);
    default: return false;
    }
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
