#include "platform/escapedtext.h"

#include "platform/cp932.h"

int HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    return -1;
}

bool DecodeEscapedText(QStringView text, QByteArray *out, TextEscapes escapes)
{
    out->clear();
    qsizetype plain = 0;  // start of the run of characters without escapes
    const auto flush = [&](qsizetype end) { out->append(ToCp932(text.mid(plain, end - plain))); };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\\'))
            continue;
        flush(i);
        if (i + 1 >= text.size())
            return false;
        const QChar e = text[i + 1];
        if (e == QLatin1Char('r')) {
            out->append('\r');
        } else if (e == QLatin1Char('n')) {
            out->append('\n');
        } else if (e == QLatin1Char('t') && escapes == TextEscapes::WithTab) {
            out->append('\t');
        } else if (e == QLatin1Char('\\')) {
            out->append('\\');
        } else if (e == QLatin1Char('x') && i + 3 < text.size() && HexDigitValue(text[i + 2]) >= 0 &&
                   HexDigitValue(text[i + 3]) >= 0) {
            out->append(char(HexDigitValue(text[i + 2]) << 4 | HexDigitValue(text[i + 3])));
            i += 2;
        } else {
            return false;
        }
        ++i;
        plain = i + 1;
    }
    flush(text.size());
    return true;
}
