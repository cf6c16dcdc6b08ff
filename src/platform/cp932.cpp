#include "platform/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

// ICU's name of Microsoft's variant of Shift-JIS.
const char *const kCodePage = "windows-31j";

}  // namespace

QByteArray ToCp932(QStringView text)
{
    thread_local QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
    if (!encoder.isValid())
        return text.toLatin1();
    encoder.resetState();
    return encoder.encode(text);
}

QString FromCp932(QByteArrayView bytes)
{
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
