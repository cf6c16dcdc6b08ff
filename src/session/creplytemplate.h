// A reply with placeholders: `$0` the received block, `$1`–`$9` the pattern's groups (or the bytes
// under a hex match's `??`s), `${seq}` and `${len}` in decimal or as binary (`${seq:u16be}`),
// `${time}` as HH:MM:SS, `$$` a dollar sign, and `${wait:200}` that ends one part of the reply and
// starts the next 200 ms later. Parsed once when the rules are set; filled for every answer.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

class CReplyTemplate
{
public:
    // What an answer is filled from.
    struct Context
    {
        QByteArrayView block;
        QList<QByteArray> groups;  // $1, $2, …; a null entry: the group took no part
        quint32 seq = 1;           // this rule's answers on the connection, this one included
        qsizetype limit = 0;       // the most bytes a part may have (0: no limit)
    };
    // One telegram of the reply, sent `waitMs` after the one before (the first: after the rule's delay).
    struct Part
    {
        qint64 waitMs = 0;
        QByteArray bytes;
    };
    static constexpr int kMaxWait = 60000;
    // The most all the waits of one reply may add up to: a day.
    static constexpr qint64 kMaxTotalWait = 24 * 60 * 60 * 1000;

    // The reply `text` in hex digits or in text with escapes; false with the reason in `error`.
    static bool Parse(bool textForm, const QString &text, CReplyTemplate *out, QString *error);
    // The parts for `context`; false with the reason in `why` when a placeholder has no value.
    bool Fill(const Context &context, QList<Part> *parts, QString *why) const;
    // No placeholder: every answer is the same one part.
    bool IsPlain() const;

private:
    enum What { Literal, Whole, Group, Seq, Length, Time, Wait };
    enum Form { Decimal, U8, U16Be, U16Le, U32Be, U32Le };
    struct Item
    {
        What what = Literal;
        int value = 0;  // the group's number, the form of Seq and Length, the wait's milliseconds
        QByteArray bytes;
    };
    static bool ParseForm(const QString &name, int *form);
    static void AppendNumber(QByteArray *out, int form, quint32 value);

    QList<Item> m_items;
};
