#include "platform/chexconv.h"

#include "platform/prompts.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// The value of every character as a hex digit (every character that is not a digit counts as 0),
// and which characters are digits.
struct DigitValues
{
    unsigned char values[256];
    bool digits[256];
    constexpr DigitValues() : values(), digits()
    {
        for (int c = '0'; c <= '9'; ++c) {
            values[c] = static_cast<unsigned char>(c - '0');
            digits[c] = true;
        }
        for (int c = 'A'; c <= 'F'; ++c) {
            values[c] = static_cast<unsigned char>(c - 'A' + 10);
            values[c - 'A' + 'a'] = static_cast<unsigned char>(c - 'A' + 10);
            digits[c] = digits[c - 'A' + 'a'] = true;
        }
    }
};
constexpr DigitValues kDigitValues;

int DigitValue(char c)
{
    return kDigitValues.values[static_cast<unsigned char>(c)];
}

constexpr char kUpperDigits[] = "0123456789ABCDEF";

// The two upper-case digits of every byte value, side by side: one table read per byte.
struct DigitPairs
{
    char pairs[256][2];
    constexpr DigitPairs() : pairs()
    {
        for (int b = 0; b < 256; ++b) {
            pairs[b][0] = kUpperDigits[b >> 4];
            pairs[b][1] = kUpperDigits[b & 0x0F];
        }
    }
};
constexpr DigitPairs kDigitPairs;

#if defined(__x86_64__)
// 32 bytes at a time: the two nibbles of every byte side by side, looked up as digits in a table.
// Returns the bytes done (a multiple of 32).
__attribute__((target("avx2"))) int HexDigitsAvx2(const unsigned char *data, int count, char *out)
{
    const __m256i digits = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(kUpperDigits)));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    int i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(data + i));
        const __m256i high = _mm256_shuffle_epi8(digits, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
        const __m256i low = _mm256_shuffle_epi8(digits, _mm256_and_si256(v, nibble));
        // Interleaving works within each 16-byte half: put the halves back in order.
        const __m256i first = _mm256_unpacklo_epi8(high, low);
        const __m256i second = _mm256_unpackhi_epi8(high, low);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 2 * i), _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 2 * i + 32), _mm256_permute2x128_si256(first, second, 0x31));
    }
    return i;
}

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
#endif

}  // namespace

CHexConv::~CHexConv() = default;

void CHexConv::Bin2HexString(const unsigned char *data, int length, QByteArray &out, int byteLimit)
{
    const int count = qMax(0, qMin(length, byteLimit));
    out.resize(qsizetype(count) * 2);
    char *p = out.data();
    int i = 0;
#if defined(__x86_64__)
    if (count >= 32 && HasAvx2()) {
        i = HexDigitsAvx2(data, count, p);
        p += 2 * i;
    }
#endif
    for (; i < count; ++i, p += 2)
        std::memcpy(p, kDigitPairs.pairs[data[i]], 2);
}

void CHexConv::Bin2HexString(const unsigned char *data, int length, QString &out, int byteLimit)
{
    QByteArray hex;
    Bin2HexString(data, length, hex, byteLimit);
    out = QString::fromLatin1(hex);
}

void CHexConv::HexString2Bin(QByteArray text, unsigned char *out, int byteLimit)
{
    if (text.size() % 2 != 0)
        text.append('0');
    const qsizetype pairs = text.size() / 2;
    const char *digits = text.constData();
    for (qsizetype k = 0; k < pairs; ++k) {
        if (k >= byteLimit) {
            Prompts::Instance().MessageBox(nullptr, QStringLiteral("HexString2Bin() ERR"), Prompts::AppTitle(),
                                           Prompts::Ok, Prompts::Exclamation);
            return;
        }
        out[k] = static_cast<unsigned char>(DigitValue(digits[2 * k]) * 16 + DigitValue(digits[2 * k + 1]));
    }
}

void CHexConv::HexString2Bin(const QString &text, unsigned char *out, int byteLimit)
{
    // Hex digits are ASCII; anything else counts as 0 whatever its encoding.
    HexString2Bin(text.toLatin1(), out, byteLimit);
}

bool CHexConv::IsDigit(char c)
{
    return kDigitValues.digits[static_cast<unsigned char>(c)];
}

qsizetype CHexConv::DecodeSeparated(QStringView text, QByteArray *out, QByteArray *mask)
{
    out->clear();
    if (mask)
        mask->clear();
    const auto at = [text](qsizetype i) { return i < text.size() ? text[i].unicode() : char16_t(0); };
    const auto value = [](char16_t c) { return c < 0x80 && IsDigit(char(c)) ? DigitValue(char(c)) : -1; };
    const auto isSeparator = [](char16_t c) { return c == u' ' || c == u'\t' || c == u','; };
    qsizetype first = -1;  // the first digit of a byte whose second is still to come
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (first >= 0) {
            const int low = value(c);
            if (low < 0)
                return isSeparator(c) ? first : i;
            out->append(char(value(text[first].unicode()) << 4 | low));
            if (mask && !mask->isEmpty())
                mask->append(char(0xFF));
            first = -1;
            continue;
        }
        if (isSeparator(c))
            continue;
        const bool wildcard = mask && c == u'?' && at(i + 1) == u'?';
        if (wildcard) {
            if (mask->isEmpty())
                mask->fill(char(0xFF), out->size());
            out->append('\0');
            mask->append('\0');
            ++i;
            continue;
        }
        // "0x" counts as a prefix only before a byte; otherwise its "x" is refused.
        if (c == u'0' && (at(i + 1) == u'x' || at(i + 1) == u'X') &&
            (value(at(i + 2)) >= 0 || (mask && at(i + 2) == u'?' && at(i + 3) == u'?'))) {
            ++i;
            continue;
        }
        if (value(c) < 0)
            return i;
        first = i;
    }
    return first;
}

void SetWordHalf(std::uint32_t *target, std::uint16_t value, int which)
{
    if (which)
        *target = (*target & 0x0000FFFFu) | (std::uint32_t(value) << 16);
    else
        *target = (*target & 0xFFFF0000u) | value;
}

std::uint16_t GetWordHalf(std::uint32_t value, int which)
{
    return static_cast<std::uint16_t>(which == 1 ? value >> 16 : value & 0xFFFFu);
}
