// The checksum catalogue: every CRC of the public catalogue up to 64 bits wide, with its parameters,
// check value over "123456789" and residue, then the sums (their check values computed).
#pragma once

#include "platform/cchecksum.h"

// The entries: the nineteen CRCs and five sums offered from the start, in their order, then the rest
// of the public catalogue by width and name, then the other sums.
const CChecksum::Entry *ChecksumCatalogue(int *count);
