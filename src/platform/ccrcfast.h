// CRCs at the processor's speed, chosen at run time: folding sixteen bytes at a time with carry-less
// multiplication (PCLMULQDQ) for any CRC up to 64 bits wide, thirty-two bytes at a time for the
// wider ones (65 to 128 bits), and the SSE4.2 crc32 instruction over
// three interleaved streams for CRC-32C. The build runs on any x86-64 (and elsewhere): without the
// instructions, or with the fast paths switched off, the callers' tables do the work.
#pragma once

#include <QtGlobal>

#include <array>

class CCrcFast
{
public:
    // Whether the processor has the instructions and the fast paths are on.
    static bool CanFold();
    static bool CanCrc32c();
    // Switches the fast paths off (and on again) for the whole process: tests and benchmarks
    // compare them with the tables.
    static void SetEnabled(bool enabled);

    // The folding constants of a CRC: its width, polynomial (without the top bit) and direction.
    static std::array<quint64, 4> FoldConstants(int width, quint64 poly, bool reflected);
    // Folds `length` bytes (at least 64) into sixteen with the register `crc` (as the tables hold
    // it: reflected at the low end, else at the high end of 64 bits) mixed into the first eight;
    // returns how many bytes it used (a multiple of 16). The CRC from a zero register over `folded`,
    // then over the bytes left, is the CRC over all of them.
    static qsizetype Fold(const std::array<quint64, 4> &constants, bool reflected, quint64 crc,
                          const unsigned char *data, qsizetype length, unsigned char folded[16]);
    // The same for CRCs 65 to 128 bits wide, thirty-two bytes at a time: the constants of the width
    // and polynomial (without the top bit); `crc` as the register of 128 bits holds it (reflected at
    // the low end, else at the high end); at least 32 bytes in, a multiple of 32 used, 32 folded out.
    __extension__ typedef unsigned __int128 Wide;
    static std::array<quint64, 8> WideFoldConstants(int width, Wide poly);
    static qsizetype FoldWide(const std::array<quint64, 8> &constants, bool reflected, Wide crc,
                              const unsigned char *data, qsizetype length, unsigned char folded[32]);
    // The CRC-32C register (reflected, no final XOR) after `data`.
    static quint32 Crc32c(quint32 crc, const unsigned char *data, qsizetype length);
};
