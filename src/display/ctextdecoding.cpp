#include "display/ctextdecoding.h"

#include "display/ctextpiecereader.h"
#include "platform/cp932.h"

#include <array>
#include <memory>

namespace {

constexpr char16_t kInvalid = 0xFFFD;

// The ASCII names of the control bytes 0x00-0x1F.
const char *const kControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS", "HT", "LF",
                                       "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4",
                                       "NAK", "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS", "US"};

// Code page 932 as two tables, filled once from the program's converter so that valid text reads
// exactly as the converter reads it: single bytes, and pairs by lead * 256 + trail. 0: not valid.
struct Cp932Tables
{
    std::array<char16_t, 256> single{};
    std::unique_ptr<std::array<char16_t, 65536>> pairs = std::make_unique<std::array<char16_t, 65536>>();

    Cp932Tables()
    {
        auto one = [](QByteArrayView bytes) -> char16_t {
            const QString text = FromCp932(bytes);
            if (text.size() != 1 || text[0].unicode() == kInvalid)
                return 0;
            return text[0].unicode();
        };
        pairs->fill(0);
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            single[static_cast<size_t>(b)] = CTextPieceReader::IsLeadByte(static_cast<uchar>(b)) ? 0 : one(QByteArrayView(&c, 1));
        }
        single[0] = 0x0000;  // the converter's result for a zero byte may be empty
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!CTextPieceReader::IsLeadByte(static_cast<uchar>(lead)))
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (!CTextPieceReader::IsTrailByte(static_cast<uchar>(trail)))
                    continue;
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                (*pairs)[static_cast<size_t>(lead * 256 + trail)] = one(QByteArrayView(pair, 2));
            }
        }
    }
};

const Cp932Tables &Tables()
{
    static const Cp932Tables tables;
    return tables;
}

// Length of the valid UTF-8 sequence at `p` (1 to 4) and its code point, or 0 when it is not valid.
int Utf8Sequence(const uchar *p, qsizetype left, char32_t &code)
{
    const uchar b = p[0];
    int length;
    char32_t min;
    if (b < 0x80) {
        code = b;
        return 1;
    } else if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        code = b & 0x1F;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        code = b & 0x0F;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        code = b & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (left < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

}  // namespace

QString CTextDecoding::Decode(QByteArrayView bytes, Encoding encoding, bool controls, std::vector<qint32> *offsets)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype size = bytes.size();
    // At most one unit a byte, or five ("<NUL>") with the control marks: written in place, cut after.
    QString text(size * (controls ? 5 : 1), Qt::Uninitialized);
    char16_t *const begin = reinterpret_cast<char16_t *>(text.data());
    char16_t *out = begin;
    if (offsets) {
        offsets->clear();
        offsets->reserve(static_cast<size_t>(size) + 1);
    }
    auto put = [&](char16_t c, qsizetype at) {
        *out++ = c;
        if (offsets)
            offsets->push_back(static_cast<qint32>(at));
    };
    const Cp932Tables *sjis = encoding == ShiftJis ? &Tables() : nullptr;
    for (qsizetype i = 0; i < size;) {
        const uchar b = data[i];
        if (controls && (b < 0x20 || b == 0x7F)) {
            put(u'<', i);
            for (const char *c = b == 0x7F ? "DEL" : kControlNames[b]; *c; ++c)
                put(static_cast<char16_t>(*c), i);
            put(u'>', i);
            ++i;
            continue;
        }
        switch (encoding) {
        case Latin1:
            put(b, i);
            ++i;
            break;
        case Utf8: {
            char32_t code = 0;
            const int length = Utf8Sequence(data + i, size - i, code);
            if (length == 0) {
                put(kInvalid, i);
                ++i;
            } else if (code > 0xFFFF) {
                put(QChar::highSurrogate(code), i);
                put(QChar::lowSurrogate(code), i);
                i += length;
            } else {
                put(static_cast<char16_t>(code), i);
                i += length;
            }
            break;
        }
        case ShiftJis:
        default:
            if (CTextPieceReader::IsLeadByte(b)) {
                const char16_t c = i + 1 < size ? (*sjis->pairs)[static_cast<size_t>(b * 256 + data[i + 1])] : 0;
                if (c != 0) {
                    put(c, i);
                    i += 2;
                } else {
                    put(kInvalid, i);
                    ++i;
                }
            } else {
                const char16_t c = sjis->single[b];
                put(c != 0 || b == 0 ? c : kInvalid, i);
                ++i;
            }
            break;
        }
    }
    if (offsets)
        offsets->push_back(static_cast<qint32>(size));
    text.truncate(out - begin);
    return text;
}

QString CTextDecoding::Name(Encoding encoding)
{
    switch (encoding) {
    case Utf8: return QStringLiteral("UTF-8");
    case Latin1: return QStringLiteral("Latin-1");
    case ShiftJis:
    default: return QStringLiteral("Shift-JIS");
    }
}

CTextDecoding::Encoding CTextDecoding::FromName(const QString &name)
{
    for (int e = 0; e < kEncodings; ++e) {
        if (name.compare(Name(static_cast<Encoding>(e)), Qt::CaseInsensitive) == 0)
            return static_cast<Encoding>(e);
    }
    return ShiftJis;
}
