// The reply rule table of a document: the switch and the ordered rules, kept in document slots the
// connection settings leave unused, and written to and read from CSV files.
#pragma once

#include "session/creplyrule.h"

#include <QByteArray>
#include <QList>
#include <QString>

class CQnDoc;

class CReplyRuleTable
{
public:
    // The table lives in the document's reply slots (CQnDoc::SLOT_REPLY_*; the README lists them).
    static constexpr int kMaxRules = 64;

    bool use = false;
    QList<CReplyRule> rules;

    bool operator==(const CReplyRuleTable &) const = default;

    // The switch is on and some rule is enabled.
    bool IsActive() const;

    // Reads the table from the document; returns the number of damaged entries left out (a count
    // or switch out of range counts as one).
    int Load(const CQnDoc &document);
    // Writes the table and empties the slots of rules no longer there.
    void Store(CQnDoc &document) const;

    // CSV in the scenario file's conventions: a header line, then one line a rule; seven columns, and
    // two more (checksum, match without it) when some rule has a checksum.
    QList<QByteArray> ToCsv() const;
    // Rules from CSV lines of either form (a first line starting as the header is skipped). On
    // failure `error` names the line and the reason and `out` is untouched.
    static bool FromCsv(const QList<QByteArray> &lines, QList<CReplyRule> *out, QString *error);

    // The texts of the kinds, as the dialog and the CSV show them.
    static QString KindText(int kind);
    static int KindFromText(const QString &text);  // -1 when unknown
    // "HEX", "ﾃｷｽﾄ", and for a reply with placeholders "HEX+変数", "ﾃｷｽﾄ+変数".
    static QString FormText(bool text, bool placeholders = false);
    static int FormFromText(const QString &text);  // bit 0 text (else hex), bit 1 placeholders; -1 unknown
};
