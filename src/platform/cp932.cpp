#include "platform/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace {

// ICU's name of Microsoft's variant of Shift-JIS.
const char *const kCodePage = "windows-31j";

// Printable ASCII, tab and line breaks: the same code in the code page as in Unicode. (Not every
// control code is: the converter swaps 0x1A, 0x1C and 0x7F.)
constexpr bool IsPlain(char16_t c)
{
    return (c >= 0x20 && c < 0x7F) || c == u'\t' || c == u'\n' || c == u'\r';
}

}  // namespace

QByteArray ToCp932(QStringView text)
{
    // The log lines of every telegram need no converter.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return IsPlain(c.unicode()); }))
        return text.toLatin1();
    thread_local QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return text.toLatin1();
    encoder.resetState();
    return encoder.encode(text);
}

qsizetype FirstNotInCp932(QStringView text)
{
    QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return -1;
    const QByteArray all = encoder.encode(text);  // encoded when converted
    if (!encoder.hasError())
        return -1;
    // Which one: each character (a surrogate pair as one) on its own.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype units = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        QStringEncoder one(kCodePage, QStringConverter::Flag::Stateless);
        const QByteArray bytes = one.encode(text.mid(i, units));
        if (one.hasError())
            return i;
        i += units - 1;
    }
    return -1;
}

QString FromCp932(QByteArrayView bytes)
{
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return IsPlain(static_cast<unsigned char>(c)); }))
        return QString::fromLatin1(bytes);
    thread_local QStringDecoder decoder(kCodePage, QStringConverter::Flag::Stateless);
    if (!decoder.isValid())
        return QString::fromLatin1(bytes);
    decoder.resetState();
    QString text = decoder.decode(bytes);
    // The converter marks an invalid sequence with U+001A; where the bytes hold no real 0x1A,
    // show it as the usual replacement character.
    if (!bytes.contains('\x1a'))
        text.replace(QChar(0x1A), QChar(QChar::ReplacementCharacter));
    return text;
}

bool Cp932Available()
{
    return QStringEncoder(kCodePage).isValid();
}

bool IsCp932Text(QByteArrayView bytes)
{
    // No code page 932 sequence stands for U+FFFD: it marks an invalid one.
    return !FromCp932(bytes).contains(QChar::ReplacementCharacter);
}
