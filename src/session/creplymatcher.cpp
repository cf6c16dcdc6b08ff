#include "session/creplymatcher.h"

#include "platform/cchecksumrule.h"
#include "platform/qnwin.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

void CReplyMatcher::SetRules(const QList<CReplyRule> &rules)
{
    m_rules.clear();
    m_slow.clear();
    m_shaped.clear();
    m_periodic.clear();
    m_states.fill(QString());
    m_nextStates.fill(QString());
    m_bStates = false;
    m_anyState = 0;
    m_contains.clear();
    m_shortestContained = 0;
    m_pContains.reset();
    std::shared_ptr<ContainsIndex> index;
    for (int i = 0; i < rules.size() && i < kMaxRules; ++i) {
        const CReplyRule &rule = rules[i];
        Compiled c{i + 1, rule.kind, {}, {}, rule.delay, -1};
        Slow slow;
        if (!rule.enabled || !rule.Check().isEmpty())
            continue;
        m_states[size_t(i)] = rule.state.trimmed();
        m_nextStates[size_t(i)] = rule.nextState.trimmed();
        m_bStates = m_bStates || !m_states[size_t(i)].isEmpty() || !m_nextStates[size_t(i)].isEmpty();
        if (rule.kind == CReplyRule::KindRegex)
            slow.pattern = CReplyRule::CompilePattern(rule.match);
        else
            rule.DecodeMatch(&c.match, &slow.mask);
        CReplyTemplate shaped;
        QString error;
        if (!rule.replyPlaceholders) {
            CReplyRule::Decode(rule.replyText, rule.reply, &c.reply);
        } else if (CReplyTemplate::Parse(rule.replyText, rule.reply, &shaped, &error) && shaped.IsPlain()) {
            QList<CReplyTemplate::Part> parts;
            shaped.Fill({}, &parts, &error);
            c.reply = parts.value(0).bytes;
        }
        std::shared_ptr<const CChecksumRule> checksum;
        if (rule.HasChecksum()) {
            checksum = CChecksumRule::Parse(rule.checksum, &error);  // Check has parsed it
            if (rule.matchWithoutChecksum) {
                slow.leftOut = checksum->ValueBytes();
                slow.terminator = checksum->Terminator();
            }
        }
        if (rule.replyPlaceholders && !shaped.IsPlain())
            m_shaped.push_back({c.number, std::move(shaped), checksum});
        else if (checksum)
            c.reply = checksum->Apply(c.reply);
        if (rule.kind == CReplyRule::KindPeriodic) {
            m_periodic.push_back(std::move(c));
            continue;
        }
        if (m_states[size_t(i)].isEmpty())
            m_anyState |= std::uint64_t(1) << m_rules.size();
        if (slow.leftOut >= 0 || !slow.mask.isEmpty() || rule.kind == CReplyRule::KindRegex) {
            c.kind += kSlow;
            c.slow = int(m_slow.size());
            m_slow.push_back(std::move(slow));
        }
        if (c.kind == CReplyRule::KindContains) {
            const auto first = static_cast<unsigned char>(c.match[0]);
            // Eight buckets by the high nibble: exact for bytes that share no bucket, and a false
            // candidate is only checked, never taken.
            const std::uint8_t bucket = std::uint8_t(1u << ((first >> 4) & 7));
            if (!index)
                index = std::make_shared<ContainsIndex>();
            index->low[first & 15] |= bucket;
            index->high[first >> 4] |= bucket;
            index->startsWith[first] |= std::uint64_t(1) << m_contains.size();
            for (int second = 0; second < 256; ++second) {
                if (c.match.size() == 1 || static_cast<unsigned char>(c.match[1]) == second) {
                    const int pair = first << 8 | second;
                    index->pairs[size_t(pair >> 6)] |= std::uint64_t(1) << (pair & 63);
                }
            }
            m_contains.push_back(int(m_rules.size()));
            if (m_shortestContained == 0 || c.match.size() < m_shortestContained)
                m_shortestContained = int(c.match.size());
        }
        m_rules.push_back(std::move(c));
    }
    m_pContains = std::move(index);
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
    const ContainsIndex &index = *m_pContains;  // there is a contains rule
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
            for (std::uint64_t mask = next(data, &window, end, index.low.data(), index.high.data()); mask && found != all;
                 mask &= mask - 1) {
                const int at = window + __builtin_ctzll(mask);
                // Most candidates end here: no match starts with this byte and the next.
                if (at + 1 < length) {
                    const int pair = data[at] << 8 | data[at + 1];
                    if (!((index.pairs[size_t(pair >> 6)] >> (pair & 63)) & 1))
                        continue;
                }
                for (std::uint64_t open = index.startsWith[data[at]] & ~found; open; open &= open - 1) {
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

int CReplyMatcher::Match(const unsigned char *data, int length, unsigned char *copy, QList<QByteArray> *groups,
                         const QString &state) const
{
    int copied = 0;
    if (groups)
        groups->clear();
    std::uint64_t allowed = m_anyState;
    for (size_t i = 0; m_bStates && i < m_rules.size(); ++i) {
        if (m_states[size_t(m_rules[i].number - 1)] == state)
            allowed |= std::uint64_t(1) << i;
    }
    const int number = MatchCopying(data, length, copy, &copied, groups, allowed);
    if (copy && copied < length)
        std::memcpy(copy + copied, data + copied, size_t(length - copied));
    return number;
}

int CReplyMatcher::MatchCopying(const unsigned char *data, int length, unsigned char *copy, int *copied,
                                QList<QByteArray> *groups, std::uint64_t allowed) const
{
    std::uint64_t bit = 1;
    bool searched = false;
    QString latin1;  // the block for the patterns, made once when the first one is tried
    std::uint64_t contained = 0;
    int containsIndex = 0;
    for (const Compiled &rule : m_rules) {
        // A rule of another state is passed over; its place among the contains rules is kept.
        const bool open = allowed & bit;
        bit <<= 1;
        if (!open) {
            containsIndex += rule.kind == CReplyRule::KindContains;
            continue;
        }
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
        default: holds = HoldsSlowly(rule, data, length, &latin1, groups); break;
        }
        if (holds)
            return rule.number;
    }
    return 0;
}

namespace {

// Where `match` holds in `block` with `mask` (0: any byte) at one of the offsets from `first` to
// `last`; -1 when at none.
qsizetype MaskedAt(QByteArrayView block, const QByteArray &match, const QByteArray &mask, qsizetype first, qsizetype last)
{
    for (qsizetype at = first; at <= last; ++at) {
        qsizetype i = 0;
        while (i < match.size() && (block[at + i] & mask[i]) == (match[i] & mask[i]))
            ++i;
        if (i == match.size())
            return at;
    }
    return -1;
}

}  // namespace

bool CReplyMatcher::HoldsSlowly(const Compiled &rule, const unsigned char *data, int length, QString *latin1,
                                QList<QByteArray> *groups) const
{
    const Slow &slow = m_slow[size_t(rule.slow)];
    QByteArrayView rest(data, length);
    QByteArray joined;  // the block without the checksum, when it ends with the terminator
    if (slow.leftOut >= 0) {
        const qsizetype place =
            !slow.terminator.isEmpty() && rest.endsWith(slow.terminator) ? length - slow.terminator.size() : length;
        if (place < slow.leftOut)
            return false;
        rest = rest.first(place - slow.leftOut);
        if (place < length) {
            joined = rest.toByteArray() + slow.terminator;
            rest = joined;
        }
    }
    const int kind = rule.kind - kSlow;
    if (kind == CReplyRule::KindRegex) {
        // Latin-1: each byte is one character, so `.` and \xHH take any byte.
        if (slow.leftOut < 0 && latin1->isNull())
            *latin1 = QString::fromLatin1(rest);
        // Characters up to U+00FF are valid UTF-16: the check of the whole block for each pattern is spared.
        const QRegularExpressionMatch found =
            slow.pattern.match(slow.leftOut < 0 ? *latin1 : QString::fromLatin1(rest), 0, QRegularExpression::NormalMatch,
                               QRegularExpression::DontCheckSubjectStringMatchOption);
        if (!found.hasMatch())
            return false;
        for (int g = 1; groups && g <= slow.pattern.captureCount(); ++g)
            groups->append(found.capturedStart(g) < 0 ? QByteArray() : found.captured(g).toLatin1());
        return true;
    }
    const QByteArray &match = rule.match;
    const qsizetype size = match.size();
    if (rest.size() < size)
        return false;
    qsizetype at = -1;
    if (slow.mask.isEmpty()) {
        switch (kind) {
        case CReplyRule::KindEquals: at = rest == match ? 0 : -1; break;
        case CReplyRule::KindStartsWith: at = rest.startsWith(match) ? 0 : -1; break;
        case CReplyRule::KindEndsWith: at = rest.endsWith(match) ? rest.size() - size : -1; break;
        default: at = rest.indexOf(match); break;
        }
        return at >= 0;
    }
    switch (kind) {
    case CReplyRule::KindEquals: at = rest.size() == size ? MaskedAt(rest, match, slow.mask, 0, 0) : -1; break;
    case CReplyRule::KindStartsWith: at = MaskedAt(rest, match, slow.mask, 0, 0); break;
    case CReplyRule::KindEndsWith: at = MaskedAt(rest, match, slow.mask, rest.size() - size, rest.size() - size); break;
    default: at = MaskedAt(rest, match, slow.mask, 0, rest.size() - size); break;
    }
    if (at < 0)
        return false;
    for (qsizetype i = 0; groups && i < size; ++i) {
        if (slow.mask[i] == 0)
            groups->append(QByteArray(1, rest[at + i]));
    }
    return true;
}

bool CReplyMatcher::Answer(int number, const CReplyTemplate::Context &context, QList<CReplyTemplate::Part> *parts,
                           QString *why) const
{
    for (const Shaped &shaped : m_shaped) {
        if (shaped.number != number)
            continue;
        CReplyTemplate::Context bounded = context;
        bounded.limit = QN_BUFFER_SIZE - (shaped.checksum ? shaped.checksum->ValueBytes() : 0);
        if (!shaped.reply.Fill(bounded, parts, why))
            return false;
        for (CReplyTemplate::Part &part : *parts) {
            if (shaped.checksum)
                part.bytes = shaped.checksum->Apply(part.bytes);
        }
        return true;
    }
    *parts = {CReplyTemplate::Part{0, Reply(number)}};
    return true;
}

const CReplyMatcher::Compiled *CReplyMatcher::Find(int number) const
{
    for (const std::vector<Compiled> *rules : {&m_rules, &m_periodic}) {
        for (const Compiled &rule : *rules) {
            if (rule.number == number)
                return &rule;
        }
    }
    return nullptr;
}

const QByteArray &CReplyMatcher::Reply(int number) const
{
    const Compiled *rule = Find(number);
    return rule ? rule->reply : m_none;
}

int CReplyMatcher::Delay(int number) const
{
    const Compiled *rule = Find(number);
    return rule ? rule->delay : 0;
}

QString CReplyMatcher::NextState(int number) const
{
    return number >= 1 && number <= kMaxRules ? m_nextStates[size_t(number - 1)] : QString();
}

QList<int> CReplyMatcher::PeriodicRules() const
{
    QList<int> numbers;
    for (const Compiled &rule : m_periodic)
        numbers.append(rule.number);
    return numbers;
}

bool CReplyMatcher::HoldsIn(int number, const QString &state) const
{
    const QString &own = m_states[size_t(number - 1)];
    return own.isEmpty() || own == state;
}
