#include "platform/cchecksum.h"

#include "platform/ccrcfast.h"
#include "platform/checksumcatalogue.h"

#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <span>

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Sums of 16-bit words (Fletcher, Adler) are reduced after this many bytes: they stay far below 2^64.
constexpr qsizetype kSumRun = 4096;

// Bytes folded at least: shorter runs go through the tables.
constexpr qsizetype kFoldFrom = 128;

quint64 Crc32cPoly()
{
    return 0x1EDC6F41;
}

// `value` in upper-case hex, at least `digits` digits.
QString Hex(CChecksum::Value value, int digits)
{
    QString text;
    do {
        text.prepend(QLatin1Char("0123456789ABCDEF"[int(value & 0xF)]));
        value >>= 4;
    } while (value != 0);
    return text.rightJustified(digits, QLatin1Char('0'));
}

// A number of the model notation: "0x" and hex digits, or decimal digits; false when it is none or
// does not fit 128 bits.
bool ParseValue(const QString &text, CChecksum::Value *out)
{
    const bool hex = text.startsWith(QStringLiteral("0x"));
    const QString digits = hex ? text.mid(2) : text;
    const unsigned base = hex ? 16 : 10;
    if (digits.isEmpty())
        return false;
    CChecksum::Value value = 0;
    const CChecksum::Value limit = ~CChecksum::Value(0) / base;
    for (const QChar c : digits) {
        const int digit = HexDigit(c.unicode() < 128 ? char(c.unicode()) : '?');
        if (digit < 0 || unsigned(digit) >= base || value > limit)
            return false;
        const CChecksum::Value next = value * base + unsigned(digit);
        if (next < value * base)
            return false;
        value = next;
    }
    *out = value;
    return true;
}

// `value` times x modulo x^width + poly.
CChecksum::Value TimesX(CChecksum::Value value, int width, CChecksum::Value poly)
{
    const bool carry = (value >> (width - 1)) & 1;
    value = (value << 1) & CChecksum::WideMask(width);
    return carry ? value ^ poly : value;
}

// a times b modulo x^width + poly.
CChecksum::Value TimesMod(CChecksum::Value a, CChecksum::Value b, int width, CChecksum::Value poly)
{
    CChecksum::Value product = 0;
    for (int i = width - 1; i >= 0; --i) {
        product = TimesX(product, width, poly);
        if ((b >> i) & 1)
            product ^= a;
    }
    return product;
}

// `value` times x^(8 bytes) modulo x^width + poly: a CRC register moved on over that many zero bytes.
CChecksum::Value ShiftByZeros(CChecksum::Value value, quint64 bytes, int width, CChecksum::Value poly)
{
    CChecksum::Value power = 1;  // x to the bytes' bits read so far, from the highest
    for (int i = 63; i >= 0; --i) {
        power = TimesMod(power, power, width, poly);
        if ((bytes >> i) & 1) {
            for (int bit = 0; bit < 8; ++bit)
                power = TimesX(power, width, poly);
        }
    }
    return TimesMod(value, power, width, poly);
}

}  // namespace

quint64 CChecksum::Mask(int width)
{
    return width >= 64 ? ~quint64(0) : (quint64(1) << width) - 1;
}

CChecksum::Value CChecksum::WideMask(int width)
{
    return width >= kMaxWidth ? ~Value(0) : (Value(1) << width) - 1;
}

CChecksum::Value CChecksum::WideReflect(Value value, int width)
{
    Value reflected = 0;
    for (int i = 0; i < width; ++i, value >>= 1)
        reflected = (reflected << 1) | (value & 1);
    return reflected;
}

quint64 CChecksum::Reflect(quint64 value, int width)
{
    quint64 reflected = 0;
    for (int i = 0; i < width; ++i, value >>= 1)
        reflected = (reflected << 1) | (value & 1);
    return reflected;
}

const CChecksum::Entry *CChecksum::Entries(int *count)
{
    return ChecksumCatalogue(count);
}

std::unique_ptr<CChecksum> CChecksum::Find(const QString &name)
{
    const QString wanted = name.trimmed().toUpper();
    int count = 0;
    const Entry *entries = Entries(&count);
    for (const Entry &entry : std::span(entries, count)) {
        QStringList names = QString::fromLatin1(entry.aliases).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        names.prepend(QString::fromLatin1(entry.name));
        if (names.contains(wanted))
            return std::make_unique<CChecksum>(entry);
    }
    return nullptr;
}

std::unique_ptr<CChecksum> CChecksum::Find(const QString &name, QString *error)
{
    QString unwanted;
    if (!error)
        error = &unwanted;
    error->clear();
    if (std::unique_ptr<CChecksum> found = Find(name))
        return found;
    return name.contains(QLatin1Char('=')) ? FromModel(name, error) : nullptr;
}

std::unique_ptr<CChecksum> CChecksum::FromModel(const QString &model, QString *error)
{
    Entry entry{"", "", KIND_CRC, 0, 0, 0, false, false, 0, 0, 0};
    bool given[8] = {};
    const char *const keys[8] = {"width", "poly", "init", "refin", "refout", "xorout", "check", "residue"};
    Value values[8] = {};
    static const QRegularExpression pair(QStringLiteral("^([a-z]+)=(\\S+)$"));
    for (const QString &token : model.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = pair.match(token.toLower());
        const QString key = match.captured(1);
        const QString value = match.captured(2);
        int k = 0;
        while (k < 8 && key != QLatin1String(keys[k]))
            ++k;
        if (match.hasMatch() && key == QStringLiteral("name"))
            continue;  // the catalogue's own name for it
        if (!match.hasMatch() || k == 8 || given[k]) {
            *error = QStringLiteral("CRC のﾓﾃﾞﾙの指定 \"%1\" が分かりません "
                                    "(width=, poly=, init=, refin=, refout=, xorout=, check=, residue=)").arg(token);
            return nullptr;
        }
        given[k] = true;
        bool ok = false;
        if (k == 3 || k == 4) {
            ok = value == QStringLiteral("true") || value == QStringLiteral("false");
            values[k] = value == QStringLiteral("true");
        } else {
            ok = ParseValue(value, &values[k]);
        }
        if (!ok) {
            *error = QStringLiteral("CRC のﾓﾃﾞﾙの %1 の値 \"%2\" が正しくありません").arg(QLatin1String(keys[k]), value);
            return nullptr;
        }
    }
    if (!given[0] || !given[1]) {
        *error = QStringLiteral("CRC のﾓﾃﾞﾙには width= と poly= が要ります");
        return nullptr;
    }
    if (values[0] < 1 || values[0] > kMaxWidth) {
        *error = QStringLiteral("CRC のﾓﾃﾞﾙの width は 1 から %1 で指定してください").arg(kMaxWidth);
        return nullptr;
    }
    entry.width = int(values[0]);
    for (int k : {1, 2, 5, 6, 7}) {
        if (values[k] & ~WideMask(entry.width)) {
            *error = QStringLiteral("CRC のﾓﾃﾞﾙの %1 が width (%2 ﾋﾞｯﾄ) に収まりません").arg(QLatin1String(keys[k])).arg(entry.width);
            return nullptr;
        }
    }
    entry.poly = values[1];
    entry.init = values[2];
    entry.refin = values[3] != 0;
    entry.refout = given[4] ? values[4] != 0 : entry.refin;
    entry.xorout = values[5];
    auto checksum = std::make_unique<CChecksum>(entry);
    checksum->m_entry.check = checksum->Compute("123456789", 9);
    checksum->m_entry.residue = Residue(entry);
    const auto mismatch = [&](int k, Value computed) {
        *error = QStringLiteral("CRC のﾓﾃﾞﾙの %1=0x%2 が合いません (このﾓﾃﾞﾙでは 0x%3)")
                     .arg(QLatin1String(keys[k]), checksum->HexText(values[k]), checksum->HexText(computed));
        return nullptr;
    };
    if (given[6] && values[6] != checksum->m_entry.check)
        return mismatch(6, checksum->m_entry.check);
    if (given[7] && values[7] != checksum->m_entry.residue)
        return mismatch(7, checksum->m_entry.residue);
    checksum->m_name = ModelText(checksum->m_entry).toLatin1();
    checksum->m_entry.name = checksum->m_name.constData();
    return checksum;
}

QString CChecksum::ModelText(const Entry &entry)
{
    const int digits = (entry.width + 3) / 4;
    const auto hex = [digits](Value value) { return QStringLiteral("0x") + Hex(value, digits); };
    const auto boolean = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };
    return QStringLiteral("width=%1 poly=%2 init=%3 refin=%4 refout=%5 xorout=%6")
        .arg(entry.width)
        .arg(hex(entry.poly), hex(entry.init), boolean(entry.refin), boolean(entry.refout), hex(entry.xorout));
}

const CChecksum::Entry *CChecksum::CatalogueEntry(const Entry &p)
{
    int count = 0;
    const Entry *entries = Entries(&count);
    for (const Entry &e : std::span(entries, count)) {
        if (e.kind == KIND_CRC && e.width == p.width && e.poly == p.poly && e.init == p.init && e.refin == p.refin &&
            e.refout == p.refout && e.xorout == p.xorout)
            return &e;
    }
    return nullptr;
}

CChecksum::Value CChecksum::Residue(const Entry &p)
{
    // A message followed by its CRC leaves the register at xorout times x^width modulo the
    // polynomial, whatever the message; reflected when the output is.
    Value r = p.refout ? WideReflect(p.xorout, p.width) : p.xorout;
    for (int i = 0; i < p.width; ++i)
        r = TimesX(r, p.width, p.poly);
    return p.refout ? WideReflect(r, p.width) : r;
}

QStringList CChecksum::Names()
{
    QStringList names;
    int count = 0;
    const Entry *entries = Entries(&count);
    for (const Entry &entry : std::span(entries, count))
        names << QString::fromLatin1(entry.name);
    return names;
}

QString CChecksum::Describe(const Entry &entry)
{
    const int digits = (entry.width + 3) / 4;
    const auto hex = [digits](Value value) { return QStringLiteral("0x") + Hex(value, digits); };
    QString text = QString::fromLatin1(entry.name).leftJustified(18);
    if (entry.kind == KIND_CRC) {
        text += ModelText(entry);
    } else {
        const char *const sums[] = {"", "sum of the bytes, mod 256", "sum of the bytes, mod 65536",
                                    "two's complement of the sum of the bytes, mod 256", "exclusive or of the bytes",
                                    "LRC of the bytes written as ASCII hex digit pairs (others skipped)",
                                    "sum of the bytes, mod 2^32",
                                    "one's complement of the sum of the bytes, mod 256",
                                    "exclusive or of the big-endian 16-bit words (a last odd byte padded with zero)",
                                    "Fletcher-16: two sums of the bytes mod 255, the second in the high byte",
                                    "Fletcher-32: two sums of the little-endian 16-bit words mod 65535 (odd byte padded)",
                                    "Adler-32: two sums of the bytes mod 65521, the first starting at 1",
                                    "Internet checksum (RFC 1071): one's complement of the one's-complement sum of the big-endian 16-bit words"};
        text += QStringLiteral("width=%1 %2").arg(entry.width).arg(QLatin1String(sums[entry.kind]));
    }
    text += QStringLiteral(" check=") + hex(entry.check);
    if (entry.kind == KIND_CRC)
        text += QStringLiteral(" residue=") + hex(entry.residue);
    if (*entry.aliases)
        text += QStringLiteral(" alias=") + QString::fromLatin1(entry.aliases).replace(QLatin1Char(' '), QLatin1Char(','));
    return text;
}

CChecksum::CChecksum(const Entry &entry) : m_entry(entry)
{
    if (entry.kind != KIND_CRC)
        return;
    if (entry.width > 64) {
        // Reflected input: the register at the low end of 128 bits, shifting right; otherwise at
        // the high end, shifting left.
        m_pWideTable = std::make_unique<std::array<Value, 256>>();
        const Value poly = entry.refin ? WideReflect(entry.poly, entry.width) : entry.poly << (kMaxWidth - entry.width);
        for (unsigned byte = 0; byte < 256; ++byte) {
            Value crc = entry.refin ? Value(byte) : Value(byte) << (kMaxWidth - 8);
            for (int bit = 0; bit < 8; ++bit) {
                if (entry.refin)
                    crc = (crc & 1) ? (crc >> 1) ^ poly : crc >> 1;
                else
                    crc = (crc >> (kMaxWidth - 1)) ? (crc << 1) ^ poly : crc << 1;
            }
            (*m_pWideTable)[byte] = crc;
        }
        m_wideFold = CCrcFast::WideFoldConstants(entry.width, entry.poly);
        return;
    }
    m_pTables = std::make_unique<std::array<std::array<quint64, 256>, 16>>();
    auto &tables = *m_pTables;
    // Reflected input: the register holds the CRC bit-reversed at its low end and shifts right.
    // Otherwise it holds it at its high end (64 bits wide for every width) and shifts left.
    const quint64 narrowPoly = quint64(entry.poly);
    const quint64 poly = entry.refin ? CChecksum::Reflect(narrowPoly, entry.width) : narrowPoly << (64 - entry.width);
    for (quint64 byte = 0; byte < 256; ++byte) {
        quint64 crc = entry.refin ? byte : byte << 56;
        for (int bit = 0; bit < 8; ++bit) {
            if (entry.refin)
                crc = (crc & 1) ? (crc >> 1) ^ poly : crc >> 1;
            else
                crc = (crc >> 63) ? (crc << 1) ^ poly : crc << 1;
        }
        tables[0][byte] = crc;
    }
    for (int k = 1; k < 16; ++k) {
        for (int byte = 0; byte < 256; ++byte) {
            const quint64 previous = tables[k - 1][byte];
            tables[k][byte] = entry.refin ? (previous >> 8) ^ tables[0][previous & 0xFF]
                                          : (previous << 8) ^ tables[0][previous >> 56];
        }
    }
    m_fold = CCrcFast::FoldConstants(entry.width, narrowPoly, entry.refin);
}

CChecksum::Value CChecksum::WideCrc(Value crc, const unsigned char *data, qsizetype length) const
{
    if (length >= kFoldFrom && CCrcFast::CanFold()) {
        unsigned char folded[32];
        const qsizetype used = CCrcFast::FoldWide(m_wideFold, m_entry.refin, crc, data, length, folded);
        if (used > 0) {
            crc = WideCrcByTable(0, folded, sizeof folded);
            data += used;
            length -= used;
        }
    }
    return WideCrcByTable(crc, data, length);
}

CChecksum::Value CChecksum::WideCrcByTable(Value crc, const unsigned char *data, qsizetype length) const
{
    const auto &t = *m_pWideTable;
    if (m_entry.refin) {
        for (; length > 0; ++data, --length)
            crc = (crc >> 8) ^ t[unsigned(crc ^ *data) & 0xFF];
    } else {
        for (; length > 0; ++data, --length)
            crc = (crc << 8) ^ t[unsigned(crc >> (kMaxWidth - 8)) ^ *data];
    }
    return crc;
}

quint64 CChecksum::Crc(quint64 crc, const unsigned char *data, qsizetype length) const
{
    if (length >= kFoldFrom) {
        if (m_entry.width == 32 && m_entry.refin && m_entry.poly == Crc32cPoly() && CCrcFast::CanCrc32c())
            return CCrcFast::Crc32c(quint32(crc), data, length);
        if (CCrcFast::CanFold()) {
            unsigned char folded[16];
            const qsizetype used = CCrcFast::Fold(m_fold, m_entry.refin, crc, data, length, folded);
            if (used > 0) {
                crc = CrcByTables(0, folded, sizeof folded);
                data += used;
                length -= used;
            }
        }
    }
    return CrcByTables(crc, data, length);
}

quint64 CChecksum::CrcByTables(quint64 crc, const unsigned char *data, qsizetype length) const
{
    const auto &t = *m_pTables;
    if (m_entry.refin) {
        for (; length >= 16; data += 16, length -= 16) {
            quint64 word, next;
            std::memcpy(&word, data, 8);
            std::memcpy(&next, data + 8, 8);
            word = qFromLittleEndian(word) ^ crc;
            next = qFromLittleEndian(next);
            crc = t[15][word & 0xFF] ^ t[14][(word >> 8) & 0xFF] ^ t[13][(word >> 16) & 0xFF] ^ t[12][(word >> 24) & 0xFF] ^
                  t[11][(word >> 32) & 0xFF] ^ t[10][(word >> 40) & 0xFF] ^ t[9][(word >> 48) & 0xFF] ^ t[8][word >> 56] ^
                  t[7][next & 0xFF] ^ t[6][(next >> 8) & 0xFF] ^ t[5][(next >> 16) & 0xFF] ^ t[4][(next >> 24) & 0xFF] ^
                  t[3][(next >> 32) & 0xFF] ^ t[2][(next >> 40) & 0xFF] ^ t[1][(next >> 48) & 0xFF] ^ t[0][next >> 56];
        }
        for (; length > 0; ++data, --length)
            crc = (crc >> 8) ^ t[0][(crc ^ *data) & 0xFF];
        return crc;
    }
    for (; length >= 16; data += 16, length -= 16) {
        quint64 word, next;
        std::memcpy(&word, data, 8);
        std::memcpy(&next, data + 8, 8);
        word = qFromBigEndian(word) ^ crc;
        next = qFromBigEndian(next);
        crc = t[15][word >> 56] ^ t[14][(word >> 48) & 0xFF] ^ t[13][(word >> 40) & 0xFF] ^ t[12][(word >> 32) & 0xFF] ^
              t[11][(word >> 24) & 0xFF] ^ t[10][(word >> 16) & 0xFF] ^ t[9][(word >> 8) & 0xFF] ^ t[8][word & 0xFF] ^
              t[7][next >> 56] ^ t[6][(next >> 48) & 0xFF] ^ t[5][(next >> 40) & 0xFF] ^ t[4][(next >> 32) & 0xFF] ^
              t[3][(next >> 24) & 0xFF] ^ t[2][(next >> 16) & 0xFF] ^ t[1][(next >> 8) & 0xFF] ^ t[0][next & 0xFF];
    }
    for (; length > 0; ++data, --length)
        crc = (crc << 8) ^ t[0][(crc >> 56) ^ *data];
    return crc;
}

CChecksum::State CChecksum::Init() const
{
    State state;
    if (m_entry.kind == KIND_ADLER32)
        state.a = 1;
    if (m_entry.kind == KIND_CRC)
        SetRegister(state, m_entry.init);
    return state;
}

CChecksum::Value CChecksum::Register(const State &state) const
{
    const int width = m_entry.width;
    if (width > 64)
        return m_entry.refin ? WideReflect(state.wide, width) : state.wide >> (kMaxWidth - width);
    return m_entry.refin ? Reflect(state.crc, width) : state.crc >> (64 - width);
}

void CChecksum::SetRegister(State &state, Value normal) const
{
    const int width = m_entry.width;
    if (width > 64)
        state.wide = m_entry.refin ? WideReflect(normal, width) : normal << (kMaxWidth - width);
    else
        state.crc = m_entry.refin ? Reflect(quint64(normal), width) : quint64(normal) << (64 - width);
}

void CChecksum::Append(State &state, const State &part, qint64 length) const
{
    Q_ASSERT(Combines());
    // The register after the bytes before, moved on over the part's length as if it were zeros; the
    // part's own register (from zero) is what its bytes add.
    SetRegister(state, ShiftByZeros(Register(state), quint64(length), m_entry.width, m_entry.poly));
    state.crc ^= part.crc;
    state.wide ^= part.wide;
}

void CChecksum::Update(State &state, const void *data, qsizetype length) const
{
    const auto *bytes = static_cast<const unsigned char *>(data);
    if (m_entry.kind == KIND_CRC) {
        if (m_pWideTable)
            state.wide = WideCrc(state.wide, bytes, length);
        else
            state.crc = Crc(state.crc, bytes, length);
        return;
    }
    UpdateSum(state, bytes, length);
}

void CChecksum::UpdateSum(State &state, const unsigned char *bytes, qsizetype length) const
{
    switch (m_entry.kind) {
    case KIND_FLETCHER16:
    case KIND_ADLER32: {
        const quint64 modulus = m_entry.kind == KIND_ADLER32 ? 65521 : 255;
        while (length > 0) {
            const qsizetype run = std::min(length, kSumRun);
            for (qsizetype i = 0; i < run; ++i) {
                state.a += bytes[i];
                state.b += state.a;
            }
            state.a %= modulus;
            state.b %= modulus;
            bytes += run;
            length -= run;
        }
        return;
    }
    case KIND_FLETCHER32:
    case KIND_XOR16:
    case KIND_INTERNET:
        for (qsizetype i = 0; i < length; ++i) {
            if (state.high < 0) {
                state.high = bytes[i];
                continue;
            }
            const quint64 word = m_entry.kind == KIND_FLETCHER32 ? quint64(state.high) | quint64(bytes[i]) << 8
                                                                  : quint64(state.high) << 8 | bytes[i];
            state.high = -1;
            if (m_entry.kind == KIND_XOR16) {
                state.bits ^= word;
            } else if (m_entry.kind == KIND_INTERNET) {
                state.sum += word;
            } else {
                state.a += word;
                state.b += state.a;
                if (state.b >= (quint64(1) << 62)) {
                    state.a %= 65535;
                    state.b %= 65535;
                }
            }
        }
        return;
    default:
        break;
    }
    for (qsizetype i = 0; i < length; ++i) {
        state.sum += bytes[i];
        state.bits ^= bytes[i];
        if (m_entry.kind == KIND_LRC_ASCII) {
            const int digit = HexDigit(char(bytes[i]));
            if (digit < 0)
                continue;
            if (state.high < 0) {
                state.high = digit;
            } else {
                state.decoded += quint64(state.high * 16 + digit);
                state.high = -1;
            }
        }
    }
}

CChecksum::Value CChecksum::Final(const State &state) const
{
    const int width = m_entry.width;
    // A last odd byte of 16-bit words, padded with zero.
    const quint64 pad = state.high < 0 ? 0 : quint64(state.high);
    switch (m_entry.kind) {
    case KIND_CRC: {
        if (width > 64) {
            const Value crc = m_entry.refin ? state.wide : state.wide >> (kMaxWidth - width);
            const Value out = m_entry.refin == m_entry.refout ? crc : WideReflect(crc, width);
            return (out ^ m_entry.xorout) & WideMask(width);
        }
        const quint64 crc = m_entry.refin ? state.crc : state.crc >> (64 - width);
        const quint64 out = m_entry.refin == m_entry.refout ? crc : CChecksum::Reflect(crc, width);
        return (out ^ quint64(m_entry.xorout)) & CChecksum::Mask(width);
    }
    case KIND_SUM8: return state.sum & 0xFF;
    case KIND_SUM16: return state.sum & 0xFFFF;
    case KIND_SUM8_NEGATED: return (0 - state.sum) & 0xFF;
    case KIND_XOR8: return state.bits & 0xFF;
    case KIND_LRC_ASCII: return (0 - state.decoded) & 0xFF;
    case KIND_SUM32: return state.sum & 0xFFFFFFFF;
    case KIND_SUM8_ONES: return ~state.sum & 0xFF;
    case KIND_XOR16: return (state.bits ^ (pad << 8)) & 0xFFFF;
    case KIND_FLETCHER16: return (state.b % 255) << 8 | (state.a % 255);
    case KIND_ADLER32: return (state.b % 65521) << 16 | (state.a % 65521);
    case KIND_FLETCHER32: {
        if (state.high < 0)
            return (state.b % 65535) << 16 | (state.a % 65535);
        const quint64 a = (state.a + pad) % 65535;
        const quint64 b = (state.b + state.a + pad) % 65535;
        return b << 16 | a;
    }
    case KIND_INTERNET: {
        quint64 sum = state.sum + (pad << 8);
        while (sum >> 16)
            sum = (sum & 0xFFFF) + (sum >> 16);
        return ~sum & 0xFFFF;
    }
    }
    return 0;
}

CChecksum::Value CChecksum::Compute(const void *data, qsizetype length) const
{
    State state = Init();
    Update(state, data, length);
    return Final(state);
}

QString CChecksum::HexText(Value value) const
{
    return Hex(value, (m_entry.width + 3) / 4);
}

QByteArray CChecksum::ValueBytes(Value value, bool bigEndian, bool asciiHex) const
{
    QByteArray bytes;
    for (int i = Bytes() - 1; i >= 0; --i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
    if (!bigEndian)
        std::reverse(bytes.begin(), bytes.end());
    return asciiHex ? bytes.toHex().toUpper() : bytes;
}
