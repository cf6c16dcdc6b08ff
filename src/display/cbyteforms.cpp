#include "display/cbyteforms.h"

#include <QByteArray>
#include <QStringList>

namespace {

const char kUpper[] = "0123456789ABCDEF";
const char kLower[] = "0123456789abcdef";

// Every byte as `before` + two digits + `after`, with `between` between bytes.
QString Each(QByteArrayView bytes, const char *digits, QLatin1StringView before, QLatin1StringView between)
{
    QString text;
    text.reserve(bytes.size() * (2 + before.size() + between.size()));
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += between;
        const auto c = static_cast<uchar>(bytes[i]);
        text += before;
        text += QLatin1Char(digits[c >> 4]);
        text += QLatin1Char(digits[c & 0xF]);
    }
    return text;
}

}  // namespace

QString CByteForms::Format(QByteArrayView bytes, Form form)
{
    switch (form) {
    case HexSpaced:
        return Each(bytes, kUpper, QLatin1StringView(), QLatin1StringView(" "));
    case HexCompact:
        return Each(bytes, kUpper, QLatin1StringView(), QLatin1StringView());
    case CArray:
        return QLatin1Char('{') + Each(bytes, kLower, QLatin1StringView("0x"), QLatin1StringView(", ")) + QLatin1Char('}');
    case PythonBytes:
        return QStringLiteral("b'") + Each(bytes, kLower, QLatin1StringView("\\x"), QLatin1StringView()) + QLatin1Char('\'');
    case Base64:
        return QString::fromLatin1(bytes.toByteArray().toBase64());
    }
    return QString();
}

QString CByteForms::Format(const QList<QByteArray> &telegrams, Form form)
{
    QStringList lines;
    lines.reserve(telegrams.size());
    for (const QByteArray &telegram : telegrams)
        lines.append(Format(telegram, form));
    return lines.join(u'\n');
}

QString CByteForms::Name(Form form)
{
    switch (form) {
    case HexSpaced:
        return QStringLiteral("16進 (空白区切り)");
    case HexCompact:
        return QStringLiteral("16進 (詰めて)");
    case CArray:
        return QStringLiteral("C の配列");
    case PythonBytes:
        return QStringLiteral("Python の bytes");
    case Base64:
        return QStringLiteral("Base64");
    }
    return QString();
}
