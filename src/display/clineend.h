// The line end put after a text telegram: none, CR, LF or CR LF. The document keeps Command Send's as
// a text ("", "cr", "lf", "crlf") and the commands file its `eol` cell in the same words.
#pragma once

#include <QByteArray>
#include <QString>

class CLineEnd
{
public:
    enum Kind { None, Cr, Lf, CrLf };

    // "" or "none", "cr", "lf", "crlf" (any case, blanks around); false for any other text.
    static bool Parse(const QString &text, Kind *kind);
    // The stored text: empty for none.
    static QString Text(Kind kind);
    static QByteArray Bytes(Kind kind);
};
