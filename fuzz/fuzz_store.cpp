// Profile and store files from arbitrary bytes: any text parses, reading what was written and
// writing it again gives the same text, values are kept exactly, and store reads stay in their limits.
#include "batch/cregkey.h"
#include "batch/promptjudge.h"
#include "fuzzsupport.h"
#include "platform/cinifile.h"
#include "platform/cp932.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QFile>

namespace {

const QString kStoreKey = QString::fromUtf8(kPromptKey);

void CheckParsedText(const QByteArray &text)
{
    CIniFile ini{QString()};
    ini.Parse(text);
    const QByteArray once = ini.Serialize();
    CIniFile again{QString()};
    again.Parse(once);
    Require(again.Serialize() == once, "a written profile reads back to the same text");
    for (const char *section : {"Window size", "Recent File List", "SOFTWARE\\Corvexa\\qn"}) {
        for (const char *key : {"Rect", "icon", "max", "File1", "REGI_PRO_01", "REGI_PRO_NO"}) {
            const QString s = QString::fromLatin1(section);
            const QString k = QString::fromLatin1(key);
            Require(ini.HasKey(s, k) == again.HasKey(s, k), "keys survive writing");
            Require(ini.GetString(s, k, QString()) == again.GetString(s, k, QString()), "values survive writing");
            (void)ini.GetInt(s, k, -1);
        }
    }
}

void CheckStoreReads(const QByteArray &text)
{
    WriteWholeFile(CIniFile::StorePath(), text);
    for (int k = 1; k <= kPromptCount; ++k) {
        const QString value = RegReadString(kStoreKey, PromptValueName(k), QStringLiteral("-"));
        Require(ToCp932(value).size() <= CRegKey::kMaxStringBytes, "a stored string fits 255 bytes");
    }
    (void)RegReadDword(kStoreKey, QString::fromUtf8(kPromptIgnoreName), 7);
}

// Values written through the store read back exactly, whatever characters they hold.
void CheckWrittenValues(FuzzedDataProvider &input)
{
    QFile::remove(CIniFile::StorePath());
    QStringList values;
    for (int k = 1; k <= 3 && input.remaining_bytes() > 0; ++k) {
        const std::string raw = input.ConsumeRandomLengthString(300);
        const QString value = FromCp932(QByteArrayView(raw.data(), qsizetype(raw.size())));
        RegWriteString(kStoreKey, PromptValueName(k), value);
        values << CRegKey::FitString(value);
    }
    const std::uint32_t flag = input.ConsumeIntegral<std::uint32_t>();
    RegWriteDword(kStoreKey, QString::fromUtf8(kPromptIgnoreName), flag);
    for (int k = 1; k <= int(values.size()); ++k)
        Require(RegReadString(kStoreKey, PromptValueName(k), QStringLiteral("-")) == values[k - 1], "a value reads back exactly");
    Require(RegReadDword(kStoreKey, QString::fromUtf8(kPromptIgnoreName), 7) == flag, "a number reads back exactly");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    UsePrivateConfigHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray text = InputBytes(data, size);
    CheckParsedText(text);
    CheckStoreReads(text);
    FuzzedDataProvider input(data, size);
    CheckWrittenValues(input);
    return 0;
}
