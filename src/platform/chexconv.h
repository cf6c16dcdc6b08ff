// Converts telegram bytes to upper-case hex text and typed hex text back to bytes.
#pragma once

#include "platform/qnwin.h"

#include <QByteArray>
#include <QString>

class CHexConv
{
public:
    virtual ~CHexConv();

    // Two upper-case digits per byte, no separators; stops at `byteLimit` bytes.
    void Bin2HexString(const unsigned char *data, int length, QByteArray &out, int byteLimit);
    void Bin2HexString(const unsigned char *data, int length, QString &out, int byteLimit);

    // Decodes pairs of characters into `out` (capacity `byteLimit` bytes). An odd text is completed
    // with a "0" at its end; characters other than hex digits count as 0. Past the limit it shows
    // "HexString2Bin() ERR" once and keeps the bytes written so far.
    void HexString2Bin(QByteArray text, unsigned char *out, int byteLimit);
    void HexString2Bin(const QString &text, unsigned char *out, int byteLimit);

    // Bytes that HexString2Bin writes for a text of `length` characters (before the limit).
    static int DecodedLength(qsizetype length) { return static_cast<int>((length + 1) / 2); }
    // The characters HexString2Bin reads as digits: 0-9, A-F, a-f.
    static bool IsDigit(char c);
    static bool IsDigit(QChar c) { return c.unicode() < 0x80 && IsDigit(static_cast<char>(c.unicode())); }

    // Hex bytes as a user types them: two digits a byte; blanks, tabs, commas and a "0x" prefix may
    // stand between bytes. With `mask`, "??" stands for any one byte (mask byte 0 there, 0xFF for
    // every other byte; the mask stays empty without "??"). Returns -1 when the whole text is read,
    // else the index of the first character refused: one that is neither a digit nor a separator, or
    // the digit of a byte that has only one (before a separator or at the end).
    static qsizetype DecodeSeparated(QStringView text, QByteArray *out, QByteArray *mask = nullptr);
};

// Replaces the high (which != 0) or low 16 bits of *target with value.
void SetWordHalf(std::uint32_t *target, std::uint16_t value, int which);
// The high (which == 1) or low 16 bits of value.
std::uint16_t GetWordHalf(std::uint32_t value, int which);
