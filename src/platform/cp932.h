// Conversion between the program's QString text and code page 932 (Shift-JIS) bytes.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Encodes text in code page 932; a character the code page lacks becomes a substitute byte.
QByteArray ToCp932(QStringView text);
// The index of the first character of `text` the code page lacks (ToCp932 would substitute it), or -1.
qsizetype FirstNotInCp932(QStringView text);
// Decodes code page 932 bytes; an invalid sequence becomes U+FFFD, never a failure.
QString FromCp932(QByteArrayView bytes);
// True when every byte sequence of `bytes` is code page 932 text.
bool IsCp932Text(QByteArrayView bytes);

// True when the code page converter is available on this system.
bool Cp932Available();
