#include "display/clineend.h"

namespace {

const char *const kTexts[] = {"", "cr", "lf", "crlf"};

}  // namespace

bool CLineEnd::Parse(const QString &text, Kind *kind)
{
    const QString word = text.trimmed().toLower();
    if (word == QLatin1String("none")) {
        *kind = None;
        return true;
    }
    for (int i = None; i <= CrLf; ++i) {
        if (word == QLatin1String(kTexts[i])) {
            *kind = Kind(i);
            return true;
        }
    }
    return false;
}

QString CLineEnd::Text(Kind kind)
{
    return QString::fromLatin1(kTexts[kind]);
}

QByteArray CLineEnd::Bytes(Kind kind)
{
    switch (kind) {
    case Cr: return QByteArrayLiteral("\r");
    case Lf: return QByteArrayLiteral("\n");
    case CrLf: return QByteArrayLiteral("\r\n");
    case None: break;
    }
    return QByteArray();
}
