// One step of a command sequence, made ready to run from a row of the commands file: a telegram to
// send (its bytes, or a template with placeholders, and the checksum put into it), a wait, the
// bytes to expect within a time limit, or a serial line's control (DTR, RTS, a break).
#pragma once

#include "session/creplymatcher.h"
#include "session/creplytemplate.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>

class CChecksumRule;

class CCommandStep
{
public:
    // Dtr, Rts: set a serial line's control line to `value` (0 or 1); Break: send a break of `ms`
    // (0: the line's own length).
    enum Action { Send, Wait, Expect, Dtr, Rts, Break };
    static constexpr int kDefaultExpectMs = 1000;
    static constexpr int kMaxMs = 3600000;  // an hour
    static constexpr int kMaxBreakMs = 10000;

    // What a file's steps have compiled so far: steps that say the same (action, form, data,
    // checksum and line end alike) share one compiled body, so a file compiles each template and
    // pattern once and a step itself stays a few words (a file may hold tens of thousands).
    struct Body;
    struct Cache
    {
        // The cells a body is made of, trimmed as the step reads them.
        struct Said
        {
            QString action, form, data, checksum, eol;
            bool operator==(const Said &other) const
            {
                return action == other.action && form == other.form && data == other.data && checksum == other.checksum &&
                       eol == other.eol;
            }
            friend size_t qHash(const Said &said, size_t seed = 0)
            {
                return qHashMulti(seed, said.action, said.form, said.data, said.checksum, said.eol);
            }
        };
        QHash<Said, std::shared_ptr<const Body>> bodies;
    };
    // The step of a row's cells (name, key, action, form, data, checksum, ms, note, …); false with
    // the reason in `why` and the failing cell (0-based) in `column`. `eolColumn` is the cell of the
    // file's `eol` column (-1: none): the line end after a text send (CLineEnd's words), before its
    // checksum.
    static bool Compile(const QStringList &cells, CCommandStep *step, QString *why, int *column,
                        Cache *cache = nullptr, int eolColumn = -1);

    Action action = Send;
    int ms = 0;        // a wait's length, an expect's time limit, a break's length
    int value = 0;     // dtr, rts: 1 on, 0 off

    // The cells as written.
    QString Form() const;  // hex, text, hex+vars, text+vars, regex
    QString Data() const;
    QString ChecksumText() const;
    QString Eol() const;

    // The telegram of a send step; false with the reason when a placeholder has no value. `context`
    // gives ${seq}, $0/${len} (the bytes the last expect saw) and $1–$9.
    bool Telegram(const CReplyTemplate::Context &context, QList<CReplyTemplate::Part> *parts, QString *why) const;
    // The expected bytes are in `received`; `groups` gets the pattern's groups or the `??` bytes.
    bool Holds(const QByteArray &received, QList<QByteArray> *groups) const;
    // The step as one line for the Log and a failure: "expect text OK\r\n".
    QString Describe() const;

private:
    std::shared_ptr<const Body> m_pBody;  // null: a step made by no Compile (says nothing)
};
