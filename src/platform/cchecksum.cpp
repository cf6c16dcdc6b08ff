#include "platform/cchecksum.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace {

// Parameters as the public CRC catalogue gives them, then the sums (their check values computed).
constexpr CChecksum::Entry kEntries[] = {
    {"CRC-3/GSM", "", CChecksum::KIND_CRC, 3, 0x3, 0x0, false, false, 0x7, 0x4},
    {"CRC-5/USB", "", CChecksum::KIND_CRC, 5, 0x05, 0x1F, true, true, 0x1F, 0x19},
    {"CRC-7/MMC", "CRC-7", CChecksum::KIND_CRC, 7, 0x09, 0x00, false, false, 0x00, 0x75},
    {"CRC-8/SMBUS", "CRC-8", CChecksum::KIND_CRC, 8, 0x07, 0x00, false, false, 0x00, 0xF4},
    {"CRC-8/MAXIM-DOW", "CRC-8/MAXIM DOW-CRC", CChecksum::KIND_CRC, 8, 0x31, 0x00, true, true, 0x00, 0xA1},
    {"CRC-16/ARC", "ARC CRC-16 CRC-16/LHA CRC-IBM", CChecksum::KIND_CRC, 16, 0x8005, 0x0000, true, true, 0x0000, 0xBB3D},
    {"CRC-16/MODBUS", "MODBUS", CChecksum::KIND_CRC, 16, 0x8005, 0xFFFF, true, true, 0x0000, 0x4B37},
    {"CRC-16/IBM-3740", "CRC-16/AUTOSAR CRC-16/CCITT-FALSE", CChecksum::KIND_CRC, 16, 0x1021, 0xFFFF, false, false, 0x0000, 0x29B1},
    {"CRC-16/XMODEM", "CRC-16/ACORN CRC-16/LTE CRC-16/V-41-MSB XMODEM ZMODEM", CChecksum::KIND_CRC, 16, 0x1021, 0x0000, false, false, 0x0000, 0x31C3},
    {"CRC-16/KERMIT", "CRC-16/BLUETOOTH CRC-16/CCITT CRC-16/CCITT-TRUE CRC-16/V-41-LSB CRC-CCITT KERMIT", CChecksum::KIND_CRC, 16, 0x1021, 0x0000, true, true, 0x0000, 0x2189},
    {"CRC-16/IBM-SDLC", "CRC-16/ISO-HDLC CRC-16/ISO-IEC-14443-3-B CRC-16/X-25 CRC-B X-25", CChecksum::KIND_CRC, 16, 0x1021, 0xFFFF, true, true, 0xFFFF, 0x906E},
    {"CRC-16/DNP", "", CChecksum::KIND_CRC, 16, 0x3D65, 0x0000, true, true, 0xFFFF, 0xEA82},
    {"CRC-24/OPENPGP", "CRC-24", CChecksum::KIND_CRC, 24, 0x864CFB, 0xB704CE, false, false, 0x000000, 0x21CF02},
    {"CRC-32/ISO-HDLC", "CRC-32 CRC-32/ADCCP CRC-32/V-42 CRC-32/XZ PKZIP", CChecksum::KIND_CRC, 32, 0x04C11DB7, 0xFFFFFFFF, true, true, 0xFFFFFFFF, 0xCBF43926},
    {"CRC-32/ISCSI", "CRC-32C CRC-32/BASE91-C CRC-32/CASTAGNOLI CRC-32/INTERLAKEN", CChecksum::KIND_CRC, 32, 0x1EDC6F41, 0xFFFFFFFF, true, true, 0xFFFFFFFF, 0xE3069283},
    {"CRC-32/MPEG-2", "", CChecksum::KIND_CRC, 32, 0x04C11DB7, 0xFFFFFFFF, false, false, 0x00000000, 0x0376E6E7},
    {"CRC-40/GSM", "", CChecksum::KIND_CRC, 40, 0x0004820009, 0x0000000000, false, false, 0xFFFFFFFFFF, 0xD4164FC646},
    {"CRC-64/ECMA-182", "CRC-64", CChecksum::KIND_CRC, 64, 0x42F0E1EBA9EA3693, 0x0, false, false, 0x0, 0x6C40DF5F0B497347},
    {"CRC-64/XZ", "CRC-64/GO-ECMA", CChecksum::KIND_CRC, 64, 0x42F0E1EBA9EA3693, 0xFFFFFFFFFFFFFFFF, true, true, 0xFFFFFFFFFFFFFFFF, 0x995DC9BBDF1939FA},
    {"SUM8", "", CChecksum::KIND_SUM8, 8, 0, 0, false, false, 0, 0xDD},
    {"SUM16", "", CChecksum::KIND_SUM16, 16, 0, 0, false, false, 0, 0x01DD},
    {"SUM8/2C", "SUM8-NEG LRC", CChecksum::KIND_SUM8_NEGATED, 8, 0, 0, false, false, 0, 0x23},
    {"XOR8", "BCC", CChecksum::KIND_XOR8, 8, 0, 0, false, false, 0, 0x31},
    {"LRC/ASCII", "LRC-ASCII", CChecksum::KIND_LRC_ASCII, 8, 0, 0, false, false, 0, 0xEC},
};

quint64 Mask(int width)
{
    return width >= 64 ? ~quint64(0) : (quint64(1) << width) - 1;
}

quint64 Reflect(quint64 value, int width)
{
    quint64 reflected = 0;
    for (int i = 0; i < width; ++i, value >>= 1)
        reflected = (reflected << 1) | (value & 1);
    return reflected;
}

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

}  // namespace

const CChecksum::Entry *CChecksum::Entries(int *count)
{
    *count = int(std::size(kEntries));
    return kEntries;
}

std::unique_ptr<CChecksum> CChecksum::Find(const QString &name)
{
    const QString wanted = name.trimmed().toUpper();
    for (const Entry &entry : kEntries) {
        QStringList names = QString::fromLatin1(entry.aliases).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        names.prepend(QString::fromLatin1(entry.name));
        if (names.contains(wanted))
            return std::make_unique<CChecksum>(entry);
    }
    return nullptr;
}

QStringList CChecksum::Names()
{
    QStringList names;
    for (const Entry &entry : kEntries)
        names << QString::fromLatin1(entry.name);
    return names;
}

QString CChecksum::Describe(const Entry &entry)
{
    const int digits = (entry.width + 3) / 4;
    const auto hex = [digits](quint64 value) {
        return QStringLiteral("0x") + QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
    };
    QString text = QString::fromLatin1(entry.name).leftJustified(18);
    if (entry.kind == KIND_CRC) {
        text += QStringLiteral("width=%1 poly=%2 init=%3 refin=%4 refout=%5 xorout=%6")
                    .arg(entry.width)
                    .arg(hex(entry.poly), hex(entry.init), entry.refin ? QStringLiteral("true") : QStringLiteral("false"),
                         entry.refout ? QStringLiteral("true") : QStringLiteral("false"), hex(entry.xorout));
    } else {
        const char *const sums[] = {"", "sum of the bytes, mod 256", "sum of the bytes, mod 65536",
                                    "two's complement of the sum of the bytes, mod 256", "exclusive or of the bytes",
                                    "LRC of the bytes written as ASCII hex digit pairs (others skipped)"};
        text += QStringLiteral("width=%1 %2").arg(entry.width).arg(QLatin1String(sums[entry.kind]));
    }
    text += QStringLiteral(" check=") + hex(entry.check);
    if (*entry.aliases)
        text += QStringLiteral(" alias=") + QString::fromLatin1(entry.aliases).replace(QLatin1Char(' '), QLatin1Char(','));
    return text;
}

CChecksum::CChecksum(const Entry &entry) : m_entry(entry)
{
    if (entry.kind != KIND_CRC)
        return;
    m_pTables = std::make_unique<std::array<std::array<quint64, 256>, 8>>();
    auto &tables = *m_pTables;
    // Reflected input: the register holds the CRC bit-reversed at its low end and shifts right.
    // Otherwise it holds it at its high end (64 bits wide for every width) and shifts left.
    const quint64 poly = entry.refin ? Reflect(entry.poly, entry.width) : entry.poly << (64 - entry.width);
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
    for (int k = 1; k < 8; ++k) {
        for (int byte = 0; byte < 256; ++byte) {
            const quint64 previous = tables[k - 1][byte];
            tables[k][byte] = entry.refin ? (previous >> 8) ^ tables[0][previous & 0xFF]
                                          : (previous << 8) ^ tables[0][previous >> 56];
        }
    }
}

quint64 CChecksum::Crc(quint64 crc, const unsigned char *data, qsizetype length) const
{
    const auto &t = *m_pTables;
    if (m_entry.refin) {
        for (; length >= 8; data += 8, length -= 8) {
            quint64 word;
            std::memcpy(&word, data, 8);
            word = qFromLittleEndian(word);
            crc ^= word;
            crc = t[7][crc & 0xFF] ^ t[6][(crc >> 8) & 0xFF] ^ t[5][(crc >> 16) & 0xFF] ^ t[4][(crc >> 24) & 0xFF] ^
                  t[3][(crc >> 32) & 0xFF] ^ t[2][(crc >> 40) & 0xFF] ^ t[1][(crc >> 48) & 0xFF] ^ t[0][crc >> 56];
        }
        for (; length > 0; ++data, --length)
            crc = (crc >> 8) ^ t[0][(crc ^ *data) & 0xFF];
        return crc;
    }
    for (; length >= 8; data += 8, length -= 8) {
        quint64 word;
        std::memcpy(&word, data, 8);
        crc ^= qFromBigEndian(word);
        crc = t[7][crc >> 56] ^ t[6][(crc >> 48) & 0xFF] ^ t[5][(crc >> 40) & 0xFF] ^ t[4][(crc >> 32) & 0xFF] ^
              t[3][(crc >> 24) & 0xFF] ^ t[2][(crc >> 16) & 0xFF] ^ t[1][(crc >> 8) & 0xFF] ^ t[0][crc & 0xFF];
    }
    for (; length > 0; ++data, --length)
        crc = (crc << 8) ^ t[0][(crc >> 56) ^ *data];
    return crc;
}

CChecksum::State CChecksum::Init() const
{
    State state;
    if (m_entry.kind == KIND_CRC)
        state.crc = m_entry.refin ? Reflect(m_entry.init, m_entry.width) : m_entry.init << (64 - m_entry.width);
    return state;
}

void CChecksum::Update(State &state, const void *data, qsizetype length) const
{
    const auto *bytes = static_cast<const unsigned char *>(data);
    if (m_entry.kind == KIND_CRC) {
        state.crc = Crc(state.crc, bytes, length);
        return;
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

quint64 CChecksum::Final(const State &state) const
{
    const int width = m_entry.width;
    switch (m_entry.kind) {
    case KIND_CRC: {
        const quint64 crc = m_entry.refin ? state.crc : state.crc >> (64 - width);
        const quint64 out = m_entry.refin == m_entry.refout ? crc : Reflect(crc, width);
        return (out ^ m_entry.xorout) & Mask(width);
    }
    case KIND_SUM8: return state.sum & 0xFF;
    case KIND_SUM16: return state.sum & 0xFFFF;
    case KIND_SUM8_NEGATED: return (0 - state.sum) & 0xFF;
    case KIND_XOR8: return state.bits & 0xFF;
    case KIND_LRC_ASCII: return (0 - state.decoded) & 0xFF;
    }
    return 0;
}

quint64 CChecksum::Compute(const void *data, qsizetype length) const
{
    State state = Init();
    Update(state, data, length);
    return Final(state);
}

QString CChecksum::HexText(quint64 value) const
{
    return QString::number(value, 16).toUpper().rightJustified((m_entry.width + 3) / 4, QLatin1Char('0'));
}

QByteArray CChecksum::ValueBytes(quint64 value, bool bigEndian, bool asciiHex) const
{
    QByteArray bytes;
    for (int i = Bytes() - 1; i >= 0; --i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
    if (!bigEndian)
        std::reverse(bytes.begin(), bytes.end());
    return asciiHex ? bytes.toHex().toUpper() : bytes;
}
