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

    // The step of a row's cells (name, key, action, form, data, checksum, ms, note, …); false with
    // the reason in `why` and the failing cell (0-based) in `column`.
    // What a file's steps have compiled so far, by form and data: the steps that expect the same
    // share one matcher (it keeps nothing between matches), and the sends with the same placeholders
    // one template, so a file compiles each pattern and template once.
    struct Cache
    {
        QHash<QString, std::shared_ptr<CReplyMatcher>> matchers;
        QHash<QString, CReplyTemplate> templates;
    };
    // `eolColumn` is the cell of the file's `eol` column (-1: none): the line end after a text send
    // (CLineEnd's words), before its checksum.
    static bool Compile(const QStringList &cells, CCommandStep *step, QString *why, int *column,
                        Cache *cache = nullptr, int eolColumn = -1);

    Action action = Send;
    QString form;      // as written: hex, text, hex+vars, text+vars, regex
    QString data;      // as written
    QString checksumText;
    QString note;
    QString eol;       // as written
    int ms = 0;        // a wait's length, an expect's time limit, a break's length
    int value = 0;     // dtr, rts: 1 on, 0 off

    // The telegram of a send step; false with the reason when a placeholder has no value. `context`
    // gives ${seq}, $0/${len} (the bytes the last expect saw) and $1–$9.
    bool Telegram(const CReplyTemplate::Context &context, QList<CReplyTemplate::Part> *parts, QString *why) const;
    // The expected bytes are in `received`; `groups` gets the pattern's groups or the `??` bytes.
    bool Holds(const QByteArray &received, QList<QByteArray> *groups) const;
    // The step as one line for the Log and a failure: "expect text OK\r\n".
    QString Describe() const;

private:
    bool m_bVars = false;
    QByteArray m_bytes;             // a plain send's bytes, checksum in place
    QByteArray m_lineEnd;           // after each telegram of a text send with placeholders
    CReplyTemplate m_template;      // a send with placeholders
    std::shared_ptr<const CChecksumRule> m_pChecksum;
    std::shared_ptr<CReplyMatcher> m_pMatcher;  // an expect's one rule
};
