#include "platform/ccrcfast.h"

#include <atomic>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define QN_CRC_X86 1
#include <immintrin.h>
#endif

namespace {

std::atomic<bool> g_enabled{true};

// x^n modulo the CRC's polynomial (width bits, up to 128, top bit implied), in the normal bit order.
CCrcFast::Wide PowerMod(int n, int width, CCrcFast::Wide poly)
{
    using Wide = CCrcFast::Wide;
    const Wide top = Wide(1) << (width - 1);
    const Wide mask = width >= 128 ? ~Wide(0) : (top << 1) - 1;
    Wide r = 1;
    for (int i = 0; i < n; ++i)
        r = (r & top) ? ((r << 1) ^ poly) & mask : (r << 1) & mask;
    return r;
}

quint64 Reverse64(quint64 v)
{
    quint64 r = 0;
    for (int i = 0; i < 64; ++i, v >>= 1)
        r = (r << 1) | (v & 1);
    return r;
}

#ifdef QN_CRC_X86

bool HasClmul()
{
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3"));
    return has;
}

bool HasSse42()
{
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("sse4.2"));
    return has;
}

#define QN_CLMUL __attribute__((target("pclmul,ssse3")))

// Each byte's bits in reverse order.
QN_CLMUL inline __m128i ReverseBitsOfBytes(__m128i v)
{
    const __m128i reversedHigh = _mm_setr_epi8(0x00, char(0x80), 0x40, char(0xC0), 0x20, char(0xA0), 0x60, char(0xE0), 0x10,
                                               char(0x90), 0x50, char(0xD0), 0x30, char(0xB0), 0x70, char(0xF0));
    const __m128i reversedLow = _mm_setr_epi8(0x0, 0x8, 0x4, 0xC, 0x2, 0xA, 0x6, 0xE, 0x1, 0x9, 0x5, 0xD, 0x3, 0xB, 0x7, 0xF);
    const __m128i nibble = _mm_set1_epi8(0x0F);
    return _mm_or_si128(_mm_shuffle_epi8(reversedHigh, _mm_and_si128(v, nibble)),
                        _mm_shuffle_epi8(reversedLow, _mm_and_si128(_mm_srli_epi16(v, 4), nibble)));
}

QN_CLMUL inline __m128i SwapBytes(__m128i v)
{
    return _mm_shuffle_epi8(v, _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
}

QN_CLMUL inline __m128i Load(const unsigned char *p, bool reflected)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    return reflected ? v : SwapBytes(v);
}

QN_CLMUL inline __m128i FoldInto(__m128i x, __m128i k, __m128i next)
{
    return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

QN_CLMUL qsizetype FoldClmul(const std::array<quint64, 4> &k, bool reflected, quint64 crc, const unsigned char *data,
                             qsizetype length, unsigned char folded[16])
{
    // Reflected: the low half holds the first (highest) eight bytes and multiplies by the constant of
    // the longer distance (selector 0x00), the high half by the other (0x11). Not reflected: mirrored.
    const __m128i k64 = reflected ? _mm_set_epi64x(qint64(k[1]), qint64(k[0])) : _mm_set_epi64x(qint64(k[0]), qint64(k[1]));
    const __m128i k16 = reflected ? _mm_set_epi64x(qint64(k[3]), qint64(k[2])) : _mm_set_epi64x(qint64(k[2]), qint64(k[3]));
    __m128i x0 = Load(data, reflected);
    __m128i x1 = Load(data + 16, reflected);
    __m128i x2 = Load(data + 32, reflected);
    __m128i x3 = Load(data + 48, reflected);
    x0 = _mm_xor_si128(x0, reflected ? _mm_set_epi64x(0, qint64(crc)) : _mm_set_epi64x(qint64(crc), 0));
    qsizetype at = 64;
    for (; length - at >= 64; at += 64) {
        x0 = FoldInto(x0, k64, Load(data + at, reflected));
        x1 = FoldInto(x1, k64, Load(data + at + 16, reflected));
        x2 = FoldInto(x2, k64, Load(data + at + 32, reflected));
        x3 = FoldInto(x3, k64, Load(data + at + 48, reflected));
    }
    __m128i x = FoldInto(x0, k16, x1);
    x = FoldInto(x, k16, x2);
    x = FoldInto(x, k16, x3);
    for (; length - at >= 16; at += 16)
        x = FoldInto(x, k16, Load(data + at, reflected));
    if (!reflected)
        x = SwapBytes(x);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(folded), x);
    return at;
}

// Sixteen bytes in the normal bit order, the first byte's first bit highest: reflected, each byte's
// bits reversed first.
QN_CLMUL inline __m128i LoadNormal(const unsigned char *p, bool reflected)
{
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    return SwapBytes(reflected ? ReverseBitsOfBytes(v) : v);
}

QN_CLMUL inline void StoreNormal(unsigned char *p, __m128i v, bool reflected)
{
    v = SwapBytes(v);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), reflected ? ReverseBitsOfBytes(v) : v);
}

// CRCs wider than 64 bits: a lane of 256 bits (H the first sixteen bytes, L the next) in the normal
// bit order, the reflected ones with each byte's bits reversed (a reflected CRC is the normal one of
// those bytes). Each of its four words q0 (lowest) to q3 moves 256 bits forward as q_j times
// x^(256+64j) mod P, a constant of up to 128 bits: two products of 127 bits, the second 64 bits
// higher, whose sum stays below 192 bits.
QN_CLMUL qsizetype FoldWideClmul(const std::array<quint64, 8> &k, bool reflected, CCrcFast::Wide crc,
                                 const unsigned char *data, qsizetype length, unsigned char folded[32])
{
    const __m128i k0 = _mm_set_epi64x(qint64(k[1]), qint64(k[0]));
    const __m128i k1 = _mm_set_epi64x(qint64(k[3]), qint64(k[2]));
    const __m128i k2 = _mm_set_epi64x(qint64(k[5]), qint64(k[4]));
    const __m128i k3 = _mm_set_epi64x(qint64(k[7]), qint64(k[6]));
    // The register into the first sixteen bytes, in the order its bits run.
    unsigned char first[16];
    for (int i = 0; i < 16; ++i)
        first[i] = data[i] ^ (unsigned char)(reflected ? crc >> (8 * i) : crc >> (120 - 8 * i));
    __m128i h = LoadNormal(first, reflected);
    __m128i l = LoadNormal(data + 16, reflected);
    qsizetype at = 32;
    for (; length - at >= 32; at += 32) {
        const __m128i low = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(l, k0, 0x00), _mm_clmulepi64_si128(l, k1, 0x01)),
                                          _mm_xor_si128(_mm_clmulepi64_si128(h, k2, 0x00), _mm_clmulepi64_si128(h, k3, 0x01)));
        const __m128i high = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(l, k0, 0x10), _mm_clmulepi64_si128(l, k1, 0x11)),
                                           _mm_xor_si128(_mm_clmulepi64_si128(h, k2, 0x10), _mm_clmulepi64_si128(h, k3, 0x11)));
        h = _mm_xor_si128(_mm_srli_si128(high, 8), LoadNormal(data + at, reflected));
        l = _mm_xor_si128(_mm_xor_si128(low, _mm_slli_si128(high, 8)), LoadNormal(data + at + 16, reflected));
    }
    StoreNormal(folded, h, reflected);
    StoreNormal(folded + 16, l, reflected);
    return at;
}

// The CRC-32C register after `bytes` zero bytes, as four tables of a byte each.
struct Shift
{
    quint32 table[4][256];
    quint32 Apply(quint32 crc) const
    {
        return table[0][crc & 0xFF] ^ table[1][(crc >> 8) & 0xFF] ^ table[2][(crc >> 16) & 0xFF] ^ table[3][crc >> 24];
    }
};

__attribute__((target("sse4.2"))) Shift MakeShift(qsizetype bytes)
{
    quint32 basis[32];
    for (int bit = 0; bit < 32; ++bit) {
        quint64 crc = quint32(1) << bit;
        for (qsizetype i = 0; i < bytes / 8; ++i)
            crc = _mm_crc32_u64(crc, 0);
        basis[bit] = quint32(crc);
    }
    Shift shift;
    for (int k = 0; k < 4; ++k) {
        for (int v = 0; v < 256; ++v) {
            quint32 r = 0;
            for (int j = 0; j < 8; ++j)
                if (v & (1 << j))
                    r ^= basis[8 * k + j];
            shift.table[k][v] = r;
        }
    }
    return shift;
}

constexpr qsizetype kLong = 8192;
constexpr qsizetype kShort = 256;

template <qsizetype Block>
__attribute__((target("sse4.2"))) quint64 ThreeWay(quint64 crc, const unsigned char *&data, qsizetype &length, const Shift &shift)
{
    while (length >= 3 * Block) {
        quint64 c1 = 0, c2 = 0;
        for (qsizetype i = 0; i < Block; i += 8) {
            quint64 w0, w1, w2;
            std::memcpy(&w0, data + i, 8);
            std::memcpy(&w1, data + Block + i, 8);
            std::memcpy(&w2, data + 2 * Block + i, 8);
            crc = _mm_crc32_u64(crc, w0);
            c1 = _mm_crc32_u64(c1, w1);
            c2 = _mm_crc32_u64(c2, w2);
        }
        crc = shift.Apply(quint32(crc)) ^ c1;
        crc = shift.Apply(quint32(crc)) ^ c2;
        data += 3 * Block;
        length -= 3 * Block;
    }
    return crc;
}

__attribute__((target("sse4.2"))) quint32 Crc32cSse42(quint32 crc32, const unsigned char *data, qsizetype length)
{
    static const Shift longShift = MakeShift(kLong);
    static const Shift shortShift = MakeShift(kShort);
    quint64 crc = crc32;
    crc = ThreeWay<kLong>(crc, data, length, longShift);
    crc = ThreeWay<kShort>(crc, data, length, shortShift);
    for (; length >= 8; data += 8, length -= 8) {
        quint64 w;
        std::memcpy(&w, data, 8);
        crc = _mm_crc32_u64(crc, w);
    }
    for (; length > 0; ++data, --length)
        crc = _mm_crc32_u8(quint32(crc), *data);
    return quint32(crc);
}

#endif

}  // namespace

bool CCrcFast::CanFold()
{
#ifdef QN_CRC_X86
    return g_enabled.load(std::memory_order_relaxed) && HasClmul();
#else
    return false;
#endif
}

bool CCrcFast::CanCrc32c()
{
#ifdef QN_CRC_X86
    return g_enabled.load(std::memory_order_relaxed) && HasSse42();
#else
    return false;
#endif
}

void CCrcFast::SetEnabled(bool enabled)
{
    g_enabled.store(enabled);
}

std::array<quint64, 4> CCrcFast::FoldConstants(int width, quint64 poly, bool reflected)
{
    // Folding moves a 128-bit piece forward by 512 bits (four lanes) or 128 bits: its high-degree
    // half by that distance plus 64, its low-degree half by the distance itself. Reflected, the
    // product of two reflected 64-bit halves comes out one degree short: the constants are one
    // power lower and bit-reversed.
    const int distances[4] = {512 + 64, 512, 128 + 64, 128};
    std::array<quint64, 4> constants{};
    for (int i = 0; i < 4; ++i)
        constants[i] = quint64(reflected ? Reverse64(quint64(PowerMod(distances[i] - 1, width, poly))) : PowerMod(distances[i], width, poly));
    return constants;
}

std::array<quint64, 8> CCrcFast::WideFoldConstants(int width, Wide poly)
{
    std::array<quint64, 8> constants{};
    for (int j = 0; j < 4; ++j) {
        const Wide power = PowerMod(256 + 64 * j, width, poly);
        constants[2 * j] = quint64(power);
        constants[2 * j + 1] = quint64(power >> 64);
    }
    return constants;
}

qsizetype CCrcFast::FoldWide(const std::array<quint64, 8> &constants, bool reflected, Wide crc, const unsigned char *data,
                             qsizetype length, unsigned char folded[32])
{
#ifdef QN_CRC_X86
    return FoldWideClmul(constants, reflected, crc, data, length, folded);
#else
    Q_UNUSED(constants) Q_UNUSED(reflected) Q_UNUSED(crc) Q_UNUSED(data) Q_UNUSED(length) Q_UNUSED(folded)
    return 0;
#endif
}

qsizetype CCrcFast::Fold(const std::array<quint64, 4> &constants, bool reflected, quint64 crc,
                         const unsigned char *data, qsizetype length, unsigned char folded[16])
{
#ifdef QN_CRC_X86
    return FoldClmul(constants, reflected, crc, data, length, folded);
#else
    Q_UNUSED(constants) Q_UNUSED(reflected) Q_UNUSED(crc) Q_UNUSED(data) Q_UNUSED(length) Q_UNUSED(folded)
    return 0;
#endif
}

quint32 CCrcFast::Crc32c(quint32 crc, const unsigned char *data, qsizetype length)
{
#ifdef QN_CRC_X86
    return Crc32cSse42(crc, data, length);
#else
    Q_UNUSED(data) Q_UNUSED(length)
    return crc;
#endif
}
