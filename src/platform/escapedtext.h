// Typed text with backslash escapes, as prompt strings and reply rules take it, turned into bytes.
#pragma once

#include <QByteArray>
#include <QChar>
#include <QStringView>

// The value of a hex digit (0-9, A-F, a-f), -1 for any other character.
int HexDigitValue(QChar c);

// Which escapes besides \r, \n, \\ and \xHH the text may use.
enum class TextEscapes { Basic, WithTab };

// The text in code page 932 with its escapes resolved (\t only with TextEscapes::WithTab); false,
// with `out` incomplete, for an unknown escape, a lone \ at the end or \x without two hex digits.
bool DecodeEscapedText(QStringView text, QByteArray *out, TextEscapes escapes);
