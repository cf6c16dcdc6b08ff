// Prompt judgement over arbitrary received blocks, with a store the input writes: the block counts as
// the prompt exactly when the ignore flag is 1, when it ends with a stored non-empty prompt (up to its
// first zero byte), or when every prompt is empty.
#include "batch/cregkey.h"
#include "batch/promptjudge.h"
#include "fuzzsupport.h"
#include "platform/cinifile.h"
#include "platform/cp932.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QFile>

#include <algorithm>
#include <memory>

namespace {

const QString kStoreKey = QString::fromUtf8(kPromptKey);

// Judges `block` from a buffer exactly its size, so a read past the data is caught.
BOOL Judge(const std::string &block)
{
    auto copy = std::make_unique<char[]>(block.size() + 1);
    std::copy(block.begin(), block.end(), copy.get());
    return JudgePromptBlock(block.empty() ? nullptr : copy.get(), int(block.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    UsePrivateConfigHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        // The store file as it lies on disk, then a block: no expectation beyond a sound answer.
        const std::string store = input.ConsumeRandomLengthString(2048);
        WriteWholeFile(CIniFile::StorePath(), QByteArray(store.data(), qsizetype(store.size())));
        const BOOL hit = Judge(input.ConsumeRemainingBytesAsString());
        Require(hit == 0 || hit == 1, "the judgement is 0 or 1");
        return 0;
    }

    // Prompts written through the store, as the settings dialog writes them.
    QFile::remove(CIniFile::StorePath());
    QList<QByteArray> prompts;
    const int count = input.ConsumeIntegralInRange(0, kPromptCount);
    for (int k = 1; k <= count; ++k) {
        const std::string raw = input.ConsumeRandomLengthString(40);
        const QString text = FromCp932(QByteArrayView(raw.data(), qsizetype(raw.size())));
        RegWriteString(kStoreKey, PromptValueName(k), text);
        prompts << ToCp932(CRegKey::FitString(text));
    }
    // The flag is absent, 0, 1 or another number; only 1 means "any block".
    const int flag = input.ConsumeIntegralInRange(-1, 2);
    if (flag >= 0)
        RegWriteDword(kStoreKey, QString::fromUtf8(kPromptIgnoreName), std::uint32_t(flag));
    const bool ignore = flag == 1;
    const std::string block = input.ConsumeRemainingBytesAsString();

    const QByteArray text = QByteArray(block.data(), qsizetype(block.size())).split('\0').front();
    bool expected = true;
    if (!ignore) {
        bool anyPrompt = false;
        bool matched = false;
        for (const QByteArray &prompt : prompts) {
            anyPrompt = anyPrompt || !prompt.isEmpty();
            matched = matched || (!prompt.isEmpty() && text.endsWith(prompt));
        }
        expected = !anyPrompt || matched;
    }
    Require(Judge(block) == (expected ? 1 : 0), "judgement follows the stored prompts");
    return 0;
}
