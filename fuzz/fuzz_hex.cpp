// The hex codec over arbitrary text and bytes: decoding never writes past its limit, says so once
// when the text is longer, and decodes exactly what encoding produced.
#include "platform/chexconv.h"
#include "fuzzsupport.h"
#include "platform/prompts.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <memory>

namespace {

// Counts the message boxes instead of showing them.
class CountingPrompts : public Prompts
{
public:
    int boxes = 0;
    int MessageBox(QObject *, const QString &, const QString &, Buttons, Icon) override
    {
        ++boxes;
        return IDOK;
    }
    QString FileName(QObject *, const FileRequest &) override { return {}; }
};

int Nibble(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static CountingPrompts prompts;
    Prompts::Install(&prompts);
    CHexConv conv;
    FuzzedDataProvider input(data, size);
    const int limit = input.ConsumeIntegralInRange(0, 4096);
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const QByteArray text(rest.data(), qsizetype(rest.size()));

    // Typed text: pairs of characters, anything but a digit counting as 0, an odd end completed by "0".
    {
        auto out = std::make_unique<unsigned char[]>(size_t(limit));  // exactly the capacity
        prompts.boxes = 0;
        conv.HexString2Bin(text, out.get(), limit);
        const int decoded = CHexConv::DecodedLength(text.size());
        Require(prompts.boxes == (decoded > limit ? 1 : 0), "one message exactly when the text is too long");
        const QByteArray padded = text.size() % 2 ? text + '0' : text;
        for (int k = 0; k < qMin(decoded, limit); ++k)
            Require(out[size_t(k)] == Nibble(padded[2 * k]) * 16 + Nibble(padded[2 * k + 1]), "pair decoded");
    }
    // The same text as a QString: characters beyond Latin-1 count as 0 as well.
    {
        const QString typed = QString::fromUtf8(text);
        auto out = std::make_unique<unsigned char[]>(size_t(limit));
        prompts.boxes = 0;
        conv.HexString2Bin(typed, out.get(), limit);
        Require(prompts.boxes == (CHexConv::DecodedLength(typed.size()) > limit ? 1 : 0), "one message for a long QString");
    }
    // Bytes to hex and back.
    {
        const auto *bytes = reinterpret_cast<const unsigned char *>(text.constData());
        const int length = int(text.size());
        QByteArray hex;
        conv.Bin2HexString(bytes, length, hex, limit);
        const int shown = qMin(length, limit);
        Require(hex.size() == 2 * shown, "two digits a byte up to the limit");
        for (char c : hex)
            Require((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'), "upper-case digits only");
        QString hexText;
        conv.Bin2HexString(bytes, length, hexText, limit);
        Require(hexText == QString::fromLatin1(hex), "both forms agree");

        auto back = std::make_unique<unsigned char[]>(size_t(shown));
        prompts.boxes = 0;
        conv.HexString2Bin(hexText, back.get(), shown);
        Require(prompts.boxes == 0, "a text of the right length decodes silently");
        Require(std::equal(bytes, bytes + shown, back.get()), "decoding gives back the bytes");
    }
    Prompts::Install(nullptr);
    return 0;
}
