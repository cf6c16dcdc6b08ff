// One reply rule as the user edits it, and the checks and byte forms of its match and reply.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <QString>

struct CReplyRule
{
    // A pattern (KindRegex) is matched against the block's bytes read as Latin-1, as typed whatever
    // the match form; in a hex match of the other kinds `??` stands for any one byte.
    // A periodic rule (KindPeriodic) matches nothing: it sends its reply every `delay` ms while
    // connected and while its state holds.
    enum Kind { KindEquals = 0, KindStartsWith = 1, KindContains = 2, KindEndsWith = 3, KindRegex = 4, KindPeriodic = 5 };
    static constexpr int kKindCount = KindPeriodic + 1;
    static constexpr int kMinPeriod = 10;
    static constexpr int kMaxDelay = 60000;

    bool enabled = true;
    int kind = KindEquals;
    bool matchText = false;  // the match is text (with escapes), else hex digits
    QString match;
    bool replyText = false;  // the reply is text (with escapes), else hex digits
    bool replyPlaceholders = false;  // the reply holds placeholders ($1, ${seq}, …: CReplyTemplate)
    QString reply;
    int delay = 0;  // milliseconds before the reply goes out
    // A checksum rule (CChecksumRule's text, empty for none): the reply goes out with it in place.
    QString checksum;
    // With a checksum: the match is tried against the received block without the checksum's bytes
    // (which are not verified).
    bool matchWithoutChecksum = false;
    // The state the rule holds in (empty: any) and the state it sets once it has answered (empty:
    // the state stays).
    QString state;
    QString nextState;

    bool operator==(const CReplyRule &) const = default;

    // Hex digits in pairs, blanks, tabs, commas or 0x between pairs allowed (CHexConv::DecodeSeparated);
    // false on any other character or a byte of one digit.
    static bool DecodeHex(const QString &text, QByteArray *out);
    // Text in code page 932 with the escapes \r, \n, \t, \\ and \xHH; false on an unknown escape.
    static bool DecodeText(const QString &text, QByteArray *out);
    static bool Decode(bool text, const QString &value, QByteArray *out);
    // Why Decode refused the match (`reply` false) or the reply, for the user.
    static QString DecodeError(bool text, bool reply);
    // Hex digits where a pair may be `??`: `mask` gets 0xFF for a byte to compare, 0 for any byte
    // (left empty when there is no `??`).
    static bool DecodeHexPattern(const QString &text, QByteArray *out, QByteArray *mask);
    // The pattern of a KindRegex match for the Latin-1 reading of a block; invalid for a pattern with
    // a fault, whose text for the user PatternError gives (empty: none).
    static QRegularExpression CompilePattern(const QString &pattern);
    static QString PatternError(const QString &pattern);
    // The pattern with characters beyond ASCII as escapes of their bytes; `typedAt` (when given)
    // gets, for each character of the result and one past its end, the typed character it came from.
    static QString BytePattern(const QString &pattern, QList<qsizetype> *typedAt = nullptr);
    // The match's bytes and mask for the kinds other than KindRegex.
    bool DecodeMatch(QByteArray *bytes, QByteArray *mask) const;

    bool HasChecksum() const { return !checksum.trimmed().isEmpty(); }

    // Empty when the rule can be used, else the reason (a text for the user); `field` (when given)
    // gets the failing field: 1 match, 2 reply, 3 delay, 4 checksum, 5 a state, 0 for none.
    QString Check(int *field = nullptr) const;
};
