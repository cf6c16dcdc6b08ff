// Judges the checksum that ends a received telegram in the History: recovers the bytes of an
// "R" line (its hex digits, the bytes waiting for them, or the bytes of a line shown as text) and
// compares the checksum they carry with the one the rule gives for the rest of the telegram.
#pragma once

#include "display/clinestore.h"
#include "platform/cchecksumrule.h"
#include "platform/qnwin.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

class CChecksumCheck
{
public:
    enum Verdict : quint8 { NotJudged, Good, Bad };
    struct Result
    {
        Verdict verdict = NotJudged;
        QByteArray received;  // the checksum's bytes as they arrived (empty: too short to hold one)
        QByteArray expected;  // the bytes the rule gives for the telegram without them
    };

    // The check of a rule ("CRC-16/MODBUS:le"); null with the parser's reason in `error`. A telegram
    // of `cutLength` bytes or more may have been cut by the receive buffer and is not judged.
    static std::unique_ptr<CChecksumCheck> Create(const QString &rule, QString *error,
                                                  qsizetype cutLength = QN_MAX_RECEIVE);
    // Rules worth offering: Modbus RTU and ASCII, then every checksum of the catalogue.
    static QStringList Suggestions();

    // Where the rule finds its parts in a received telegram: the bytes it covers and the checksum's
    // bytes, [begin, end) each; all empty when the telegram is too short to hold a checksum.
    struct Field
    {
        qsizetype coveredBegin = 0;
        qsizetype coveredEnd = 0;
        qsizetype sumBegin = 0;
        qsizetype sumEnd = 0;
    };

    // The checksum is the last ValueBytes() bytes before the rule's terminator (or at the end); the
    // telegram is good when the rule gives exactly them for the telegram without them.
    Result Judge(const QByteArray &telegram) const;
    Field FieldOf(const QByteArray &telegram) const;
    // The first line of a received telegram is judged; other lines, and telegrams whose bytes the
    // line does not hold whole, are not.
    Result Judge(const CLineStore::Line &line) const;
    // The bytes of the received telegram `line` begins; false when it begins none or lacks some.
    static bool TelegramOf(const CLineStore::Line &line, QByteArray *bytes);
    // The tooltip of a bad telegram: what was expected, in hex.
    static QString Describe(const Result &result);

    QString RuleText() const { return m_pRule->Text(); }

private:
    CChecksumCheck(std::unique_ptr<CChecksumRule> rule, qsizetype cutLength);

    std::unique_ptr<CChecksumRule> m_pRule;
    qsizetype m_cutLength;
};
