#include "batch/promptjudge.h"

#include "batch/cregkey.h"
#include "platform/cp932.h"

#include <QByteArrayView>

#include <cstring>

const char *const kPromptKey = "SOFTWARE\\Corvexa\\qn";
const char *const kPromptIgnoreName = "REGI_PRO_NO";

QString PromptValueName(int k)
{
    return QStringLiteral("REGI_PRO_%1").arg(k, 2, 10, QLatin1Char('0'));
}

QStringList DefaultPromptStrings()
{
    return {QStringLiteral("> "), QStringLiteral(">"), QStringLiteral("# "), QStringLiteral("#"),
            QStringLiteral(": "), QString(), QString(), QString(), QString(), QString()};
}

PromptSettings ReadPromptSettings()
{
    const CRegKey store(QString::fromUtf8(kPromptKey));
    PromptSettings settings;
    settings.ignore = store.ReadDword(QString::fromUtf8(kPromptIgnoreName), 0) == 1;
    for (int k = 1; k <= kPromptCount; ++k)
        settings.strings.append(ToCp932(store.ReadString(PromptValueName(k), QString())));
    return settings;
}

BOOL JudgePromptBlock(const char *data, int length)
{
    return JudgePromptBlock(data, length, ReadPromptSettings());
}

BOOL JudgePromptBlock(const char *data, int length, const PromptSettings &settings)
{
    if (settings.ignore)
        return 1;

    qsizetype size = (data && length > 0) ? length : 0;
    if (const void *zero = size ? std::memchr(data, 0, size_t(size)) : nullptr)
        size = static_cast<const char *>(zero) - data;
    const QByteArrayView text(data, size);

    int empty = 0;
    for (int k = 0; k < kPromptCount; ++k) {
        const QByteArray prompt = settings.strings.value(k);
        if (prompt.isEmpty())
            ++empty;
        else if (text.endsWith(prompt))
            return 1;
    }
    return empty == kPromptCount ? 1 : 0;
}
