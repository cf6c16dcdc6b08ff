// The CRC of a model's definition, a bit at a time: the independent reference the engine's tables and
// folding are checked against.
#pragma once

#include "platform/cchecksum.h"

#include <QByteArray>

inline CChecksum::Value ReferenceCrc(const CChecksum::Entry &entry, const QByteArray &data)
{
    using Value = CChecksum::Value;
    const Value top = Value(1) << (entry.width - 1);
    const Value mask = entry.width == CChecksum::kMaxWidth ? ~Value(0) : (top << 1) - 1;
    const auto reflect = [](Value v, int w) { Value r = 0; for (int i = 0; i < w; ++i, v >>= 1) r = (r << 1) | (v & 1); return r; };
    Value crc = entry.init;
    for (const char c : data) {
        const Value byte = entry.refin ? reflect(Value(uchar(c)), 8) : Value(uchar(c));
        for (int bit = 7; bit >= 0; --bit) {
            const bool in = ((byte >> bit) & 1) != ((crc & top) != 0);
            crc = ((crc << 1) & mask) ^ (in ? entry.poly : 0);
        }
    }
    return ((entry.refout ? reflect(crc, entry.width) : crc) ^ entry.xorout) & mask;
}
