// Where a checksum goes in a telegram and how it is written: the algorithm, the bytes it covers
// (from byte n, up to the end or the end less m bytes), its place (appended, or before a trailing
// terminator such as CR LF), its byte order and its form (binary or ASCII hex digits). Written as
// "NAME[:option,...]", e.g. "CRC-16/MODBUS:le" or "LRC/ASCII:from=1,before=0D0A".
#pragma once

#include "platform/cchecksum.h"

#include <QByteArray>
#include <QString>

#include <memory>

class CChecksumRule
{
public:
    // The rule of `text`; null with the reason in `error` for a text that is none.
    static std::unique_ptr<CChecksumRule> Parse(const QString &text, QString *error);

    // The telegram with the checksum in its place.
    QByteArray Apply(const QByteArray &telegram) const;
    // The bytes Apply puts in, for `telegram`.
    QByteArray Value(const QByteArray &telegram) const;
    // The bytes of the checksum at most; Apply adds exactly this many.
    int ValueBytes() const { return m_bAscii ? 2 * m_pChecksum->Bytes() : m_pChecksum->Bytes(); }
    QString Text() const { return m_strText; }
    // The checksum is written as ASCII hex digits.
    bool IsAscii() const { return m_bAscii; }
    // Where the checksum goes in `telegram`: before the terminator when it ends with it.
    qsizetype Place(const QByteArray &telegram) const;
    // The trailing terminator the checksum goes before (empty: it is appended).
    const QByteArray &Terminator() const { return m_terminator; }
    // Bytes left out before the covered range, and between its end and the checksum's place.
    int From() const { return m_nFrom; }
    int EndLess() const { return m_nEndLess; }

private:
    CChecksumRule() = default;

    std::unique_ptr<CChecksum> m_pChecksum;
    QString m_strText;
    int m_nFrom = 0;      // bytes before the range
    int m_nEndLess = 0;   // bytes between the range and the checksum's place
    QByteArray m_terminator;
    bool m_bBigEndian = true;
    bool m_bAscii = false;
};
