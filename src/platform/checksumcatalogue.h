// The checksum catalogue: every CRC of the public catalogue up to 64 bits wide, with its parameters,
// check value over "123456789" and residue, then the sums (their check values computed).
#pragma once

#include "platform/cchecksum.h"

// The entries in the catalogue's order (by width, then name), then the sums.
const CChecksum::Entry *ChecksumCatalogue(int *count);
