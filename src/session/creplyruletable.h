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
    static constexpr int kMaxRules = 64;
    // Where the table lives in the document (see the README's file-format notes).
    static constexpr int kIntSwitch = 100;       // integer: 1 "応答ﾙｰﾙを使用する" on, 0 off
    static constexpr int kIntCount = 101;        // integer: rules stored, 0 to 64
    static constexpr int kIntRuleFirst = 200;    // integers 200 + 4i ..: enabled, kind, forms, delay
    static constexpr int kIntsPerRule = 4;
    static constexpr int kStringRuleFirst = 100; // strings 100 + 2i, 101 + 2i: match, reply
    static constexpr int kStringsPerRule = 2;

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

    // CSV in the scenario file's conventions: a header line, then one line a rule.
    QList<QByteArray> ToCsv() const;
    // Rules from CSV lines (a first line equal to the header is skipped). On failure `error` names
    // the line and the reason and `out` is untouched.
    static bool FromCsv(const QList<QByteArray> &lines, QList<CReplyRule> *out, QString *error);

    // The texts of the kinds, as the dialog and the CSV show them.
    static QString KindText(int kind);
    static int KindFromText(const QString &text);  // -1 when unknown
    static QString FormText(bool text) { return text ? QStringLiteral("ﾃｷｽﾄ") : QStringLiteral("HEX"); }
    static int FormFromText(const QString &text);  // 1 text, 0 hex, -1 unknown
};
