#include "session/cchannel.h"

#include <QtEndian>

#include <array>
#include <cstring>

namespace {

const std::array<const char *, CChannel::kTypeCount> kTypes = {"u8", "u16", "u32", "u64", "i8",
                                                              "i16", "i32", "i64", "f32", "f64"};
const std::array<int, CChannel::kTypeCount> kTypeBytes = {1, 2, 4, 8, 1, 2, 4, 8, 4, 8};

bool SameNumber(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

// The common shapes of a number read directly: a decimal of at most 15 digits with an optional minus
// and point ([-]d[.d]), and up to 16 hex digits. Such a decimal's digits make an integer below 2^53
// and its power of ten is exact, so the one division rounds once: the correctly rounded value, which
// is what the general reading gives. Anything else (signs, exponents, a bare point, more digits):
// none, and the general reading decides.
constexpr std::array<double, 16> kTens = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

std::optional<double> ShortDecimal(QStringView text)
{
    const bool negative = text.startsWith(u'-');
    quint64 digits = 0;
    int count = 0;
    int whole = -1;  // digits before the point; -1: no point yet
    for (qsizetype i = negative ? 1 : 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c >= u'0' && c <= u'9') {
            if (++count > 15)
                return std::nullopt;
            digits = digits * 10 + (c - u'0');
        } else if (c == u'.' && whole < 0) {
            whole = count;
        } else {
            return std::nullopt;
        }
    }
    if (count == 0 || whole == 0 || whole == count)
        return std::nullopt;
    const double value = whole < 0 ? double(digits) : double(digits) / kTens[size_t(count - whole)];
    return negative ? -value : value;
}

std::optional<quint64> ShortHex(QStringView text)
{
    if (text.isEmpty() || text.size() > 16)
        return std::nullopt;
    quint64 n = 0;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        n = n << 4 | quint64(digit);
    }
    return n;
}

template <typename T>
T Load(const unsigned char *at, bool bigEndian)
{
    return bigEndian ? qFromBigEndian<T>(at) : qFromLittleEndian<T>(at);
}

}  // namespace

bool CChannel::operator==(const CChannel &o) const
{
    return name == o.name && unit == o.unit && direction == o.direction && client == o.client &&
           matchKind == o.matchKind && matchText == o.matchText && match == o.match && source == o.source &&
           pattern == o.pattern && group == o.group && base == o.base && offset == o.offset && type == o.type &&
           bigEndian == o.bigEndian && SameNumber(scale, o.scale) && SameNumber(add, o.add) &&
           SameNumber(low, o.low) && SameNumber(high, o.high);
}

QString CChannel::Title() const
{
    return unit.isEmpty() ? name : QStringLiteral("%1 [%2]").arg(name, unit);
}

int CChannel::TypeBytes(int type)
{
    return type >= 0 && type < kTypeCount ? kTypeBytes[size_t(type)] : 0;
}

QString CChannel::TypeText(int type)
{
    return type >= 0 && type < kTypeCount ? QString::fromLatin1(kTypes[size_t(type)]) : QString();
}

int CChannel::TypeFromText(const QString &text)
{
    const QString t = text.trimmed().toLower();
    for (int i = 0; i < kTypeCount; ++i) {
        if (t == QLatin1String(kTypes[size_t(i)]))
            return i;
    }
    return -1;
}

std::optional<double> CChannel::ReadField(const unsigned char *data, int length, int offset, int type, bool bigEndian)
{
    const int bytes = TypeBytes(type);
    if (bytes == 0 || offset < 0 || offset > length - bytes)
        return std::nullopt;
    const unsigned char *at = data + offset;
    switch (type) {
    case U8: return double(*at);
    case I8: return double(static_cast<qint8>(*at));
    case U16: return double(Load<quint16>(at, bigEndian));
    case I16: return double(Load<qint16>(at, bigEndian));
    case U32: return double(Load<quint32>(at, bigEndian));
    case I32: return double(Load<qint32>(at, bigEndian));
    case U64: return double(Load<quint64>(at, bigEndian));
    case I64: return double(Load<qint64>(at, bigEndian));
    case F32: {
        const quint32 bits = Load<quint32>(at, bigEndian);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return double(f);
    }
    case F64: {
        const quint64 bits = Load<quint64>(at, bigEndian);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    default: return std::nullopt;
    }
}

std::optional<double> CChannel::ReadNumber(QStringView text, int base)
{
    // The common case first: a short decimal has nothing to trim.
    if (base != 16) {
        if (const std::optional<double> d = ShortDecimal(text))
            return d;
    }
    text = text.trimmed();
    bool ok = false;
    if (base == 16) {
        bool negative = false;
        if (text.startsWith(u'-') || text.startsWith(u'+')) {
            negative = text.startsWith(u'-');
            text = text.mid(1);
        }
        if (text.startsWith(u"0x", Qt::CaseInsensitive))
            text = text.mid(2);
        if (text.isEmpty() || text.startsWith(u'-') || text.startsWith(u'+'))
            return std::nullopt;
        std::optional<quint64> n = ShortHex(text);
        if (!n) {
            n = text.toULongLong(&ok, 16);
            if (!ok)
                return std::nullopt;
        }
        return negative ? -double(*n) : double(*n);
    }
    const double d = text.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return std::nullopt;
    return d;
}

CReplyRule CChannel::MatchRule() const
{
    CReplyRule rule;
    rule.kind = matchKind;
    rule.matchText = matchText;
    rule.match = match;
    rule.reply = QStringLiteral("00");  // the matcher takes rules that answer; nothing is sent
    return rule;
}

QString CChannel::Check(int *column) const
{
    int failing = 0;
    QString reason;
    const auto fail = [&](int c, const QString &text) {
        if (failing == 0) {
            failing = c;
            reason = text;
        }
    };
    if (name.trimmed().isEmpty())
        fail(1, QStringLiteral("名前がありません。"));
    for (const QString &text : {name, unit, match, pattern}) {
        if (text.contains(QLatin1Char('"')) || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')))
            fail(text == name ? 1 : text == unit ? 2 : text == match ? 7 : 9,
                 QStringLiteral("\" と改行は使えません (\\x22 と書いてください)。"));
    }
    if (direction < Received || direction > Both)
        fail(3, QStringLiteral("方向が正しくありません。"));
    if (client < 0)
        fail(4, QStringLiteral("ｸﾗｲｱﾝﾄ番号が正しくありません。"));
    if (matchKind != kNoMatch) {
        if (matchKind < CReplyRule::KindEquals || matchKind > CReplyRule::KindRegex) {
            fail(5, QStringLiteral("照合方法が正しくありません。"));
        } else {
            int field = 0;
            const QString why = MatchRule().Check(&field);
            if (!why.isEmpty())
                fail(7, why);
        }
    }
    if (source == SourcePattern) {
        const QString why = CReplyRule::PatternError(pattern);
        if (pattern.isEmpty())
            fail(9, QStringLiteral("正規表現がありません。"));
        else if (!why.isEmpty())
            fail(9, why);
        else if (group < 0 || group > CReplyRule::CompilePattern(pattern).captureCount())
            fail(10, QStringLiteral("ｸﾞﾙｰﾌﾟ %1 は正規表現にありません。").arg(group));
        if (base != 10 && base != 16)
            fail(11, QStringLiteral("基数は 10 か 16 です。"));
    } else if (source == SourceBinary) {
        if (offset < 0 || offset >= kMaxOffset)
            fail(12, QStringLiteral("位置は 0 から %1 の範囲で指定してください。").arg(kMaxOffset - 1));
        if (type < 0 || type >= kTypeCount)
            fail(13, QStringLiteral("型が正しくありません。"));
    } else {
        fail(8, QStringLiteral("取り出し方が正しくありません。"));
    }
    if (!std::isfinite(scale))
        fail(15, QStringLiteral("倍率が正しくありません。"));
    if (!std::isfinite(add))
        fail(16, QStringLiteral("ｵﾌｾｯﾄが正しくありません。"));
    if (HasLow() && HasHigh() && low > high)
        fail(17, QStringLiteral("下限が上限より大きくなっています。"));
    if (column)
        *column = failing;
    return reason;
}
