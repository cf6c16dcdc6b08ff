// Finds the CRC of sample telegrams that no catalogue entry fits: the polynomial, initial value and
// final XOR of a CRC 8, 16 or 32 bits wide that ends each sample, in either byte order and with input
// and output reflected or not. Two samples of one length differ in their CRCs by the CRC of their
// difference alone (initial value and final XOR cancel), so the polynomial divides a polynomial made
// of the two: it is a divisor of the greatest common divisor of all such pairs. Samples of more than
// one length then separate the initial value from the final XOR; of one length, the usual values
// (zero or all ones) are preferred.
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

class CCrcSolver
{
public:
    // Checksum rules (a model in the catalogue's notation, or a catalogue name, with ":le" for a
    // little-endian CRC) that fit every sample; empty when none does or no two samples share a
    // length. Gives up with what it has when `msLeft` milliseconds have passed.
    static QStringList Solve(const QList<QByteArray> &samples, qint64 msLeft);
};
