// A file's CRC read in parts side by side: a regular file cut into contiguous parts, one per core,
// each read on its own thread in pieces small enough to stay in that core's cache, its CRC computed
// from a zero register; the parts' registers then joined (CChecksum::Append). Memory: a piece per
// part, however long the file.
#pragma once

#include "platform/cchecksum.h"

#include <QtGlobal>

class CChecksumParts
{
public:
    // Read() found that a part ended early while a later one still had bytes: the file changed.
    static constexpr int kChanged = -1;

    // How many parts a file of `size` bytes is read in: one per core (at most four), none under 1 MB.
    static int PartsFor(qint64 size);
    // Reads the open file `fd` of `size` bytes in `parts` parts into `state` (from Init() of
    // `checksum`, which must combine): part i is [size·i/parts, size·(i+1)/parts), the last one goes
    // on to the file's end. A file that has shrunk since gives the CRC of what is left. 0, or the
    // errno of a failed read, or kChanged.
    static int Read(const CChecksum &checksum, int fd, qint64 size, int parts, CChecksum::State &state);
};
