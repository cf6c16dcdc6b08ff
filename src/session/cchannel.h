// One value channel: where a number comes from in a telegram (a pattern's group read as a decimal or
// hex number, or a binary field), which telegrams it is taken from, and its limits.
#pragma once

#include "platform/qnwin.h"
#include "session/creplyrule.h"

#include <QByteArray>
#include <QString>

#include <cmath>
#include <limits>
#include <optional>

struct CChannel
{
    enum Source : quint8 { SourcePattern = 0, SourceBinary = 1 };
    enum Type : quint8 { U8, U16, U32, U64, I8, I16, I32, I64, F32, F64 };
    static constexpr int kTypeCount = F64 + 1;
    // The telegrams a channel reads: received, sent or both.
    enum Direction : quint8 { Received = 1, Sent = 2, Both = 3 };
    static constexpr int kNoMatch = -1;  // matchKind of a channel that reads every telegram
    static constexpr int kMaxOffset = QN_BUFFER_SIZE;

    QString name;
    QString unit;
    int direction = Received;
    int client = 0;  // many clients: only client #n's telegrams (0: every client's)
    // The telegrams read: the reply rules' match (kind KindEquals … KindRegex, form, text); kNoMatch: all.
    int matchKind = kNoMatch;
    bool matchText = false;
    QString match;

    int source = SourcePattern;
    // SourcePattern: the pattern over the telegram's bytes read as Latin-1, the group giving the
    // number (0: the whole match), and its base (10 or 16; a leading 0x is allowed in base 16).
    QString pattern;
    int group = 1;
    int base = 10;
    // SourceBinary: the field's first byte, its type and byte order.
    int offset = 0;
    int type = U16;
    bool bigEndian = false;
    // value = number × scale + add
    double scale = 1.0;
    double add = 0.0;
    // Limits; NaN: none.
    double low = std::numeric_limits<double>::quiet_NaN();
    double high = std::numeric_limits<double>::quiet_NaN();

    bool operator==(const CChannel &other) const;

    bool HasLow() const { return !std::isnan(low); }
    bool HasHigh() const { return !std::isnan(high); }
    // The value is outside the limits.
    bool Outside(double value) const { return (HasLow() && value < low) || (HasHigh() && value > high); }
    // "温度 [℃]" (the name alone without a unit).
    QString Title() const;

    static int TypeBytes(int type);
    static QString TypeText(int type);  // "u16", "f32", …
    static int TypeFromText(const QString &text);  // -1 when unknown

    // The number of a binary field of `data` (scale and add not applied); none when the telegram
    // is too short.
    static std::optional<double> ReadField(const unsigned char *data, int length, int offset, int type, bool bigEndian);
    // A number in text, decimal (sign, point, exponent) or hex (a leading 0x and a sign allowed).
    static std::optional<double> ReadNumber(QStringView text, int base);

    // Empty when the channel can be used, else the reason for the user; `column` (when given) gets
    // the failing column of the channel table's CSV (1 …), 0 for none.
    QString Check(int *column = nullptr) const;
    // The match as a reply rule (for the rules' matcher and its checks).
    CReplyRule MatchRule() const;
};
