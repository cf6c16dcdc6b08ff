// One reply rule as the user edits it, and the checks and byte forms of its match and reply.
#pragma once

#include <QByteArray>
#include <QString>

struct CReplyRule
{
    enum Kind { KindEquals = 0, KindStartsWith = 1, KindContains = 2, KindEndsWith = 3 };
    static constexpr int kMaxDelay = 60000;

    bool enabled = true;
    int kind = KindEquals;
    bool matchText = false;  // the match is text (with escapes), else hex digits
    QString match;
    bool replyText = false;  // the reply is text (with escapes), else hex digits
    QString reply;
    int delay = 0;  // milliseconds before the reply goes out
    // A checksum rule (CChecksumRule's text, empty for none): the reply goes out with it in place.
    QString checksum;
    // With a checksum: the match is tried against the received block without the checksum's bytes
    // (which are not verified).
    bool matchWithoutChecksum = false;

    bool operator==(const CReplyRule &) const = default;

    // Hex digits in pairs, blanks between pairs allowed; false on any other character or an odd digit.
    static bool DecodeHex(const QString &text, QByteArray *out);
    // Text in code page 932 with the escapes \r, \n, \t, \\ and \xHH; false on an unknown escape.
    static bool DecodeText(const QString &text, QByteArray *out);
    static bool Decode(bool text, const QString &value, QByteArray *out);

    bool HasChecksum() const { return !checksum.trimmed().isEmpty(); }

    // Empty when the rule can be used, else the reason (a text for the user); `field` (when given)
    // gets the failing field: 1 match, 2 reply, 3 delay, 4 checksum, 0 for none.
    QString Check(int *field = nullptr) const;
};
