// The prompt strings that pace a batch send, where they are stored, and the rule that applies them.
#pragma once

#include "platform/qnwin.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// Store key of the prompt-judgement values.
extern const char *const kPromptKey;           // "SOFTWARE\Corvexa\qn"
extern const char *const kPromptIgnoreName;    // "REGI_PRO_NO": 1 = any received data counts as the prompt
constexpr int kPromptCount = 10;

// "REGI_PRO_01" for k = 1 up to "REGI_PRO_10" for k = 10.
QString PromptValueName(int k);
// The ten strings the settings dialog offers as its defaults.
QStringList DefaultPromptStrings();

// What one judgement applies: the ignore flag and the ten strings, in code page 932.
struct PromptSettings
{
    bool ignore = false;
    QList<QByteArray> strings;  // up to kPromptCount; missing ones count as empty
};

// The settings as the store holds them now.
PromptSettings ReadPromptSettings();

// Judges one received block: 1 when it is the prompt, else 0. The block is taken as text up to
// its first zero byte. With the ignore flag at 1 any block counts; otherwise the block counts when
// it ends, byte for byte in code page 932, with one of the non-empty strings, or when all ten are
// empty. The store is read anew (once) for every call.
BOOL JudgePromptBlock(const char *data, int length);
// The same rule with the given settings instead of the store's.
BOOL JudgePromptBlock(const char *data, int length, const PromptSettings &settings);
