// Finds the checksum of sample telegrams, each ending in its checksum: every catalogue entry (CRCs and
// sums) in both byte orders, in binary and as ASCII hex digits, over the whole telegram or after a
// fixed header of up to 8 bytes and before a fixed trailer of up to 4, before a common CR LF, CR or LF
// terminator or at the very end; when none fits and two samples share a length, the CRC solver.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class CChecksumSearch
{
public:
    static constexpr int kMaxHeader = 8;
    static constexpr int kMaxTrailer = 4;
    // Longer samples are left out.
    static constexpr qsizetype kMaxSample = 64 * 1024;

    // The checksum rules that fit every sample, the likeliest first (the fewest bytes left out, then
    // the catalogue's order); each parses as a rule and puts back exactly the checksum each sample ends
    // in. `msLeft` bounds the time the solver takes.
    static QStringList Find(const QList<QByteArray> &given, qint64 msLeft = 10000);

    // Samples from text: one telegram a line in hex digits (spaces ignored; empty lines and lines
    // starting with # skipped). Null with the line in `error` at the first line that is no hex.
    static QList<QByteArray> FromHexLines(const QByteArray &text, QString *error);
    // Samples from a saved History: the received (R) telegrams shown in hex.
    static QList<QByteArray> FromHistory(const QByteArray &text);
};
