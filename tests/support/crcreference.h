// The CRC of a model's definition, a bit at a time: the independent reference the engine's tables and
// folding are checked against.
#pragma once

#include "platform/cchecksum.h"

#include <QByteArray>

inline quint64 ReferenceCrc(const CChecksum::Entry &entry, const QByteArray &data)
{
    const quint64 top = quint64(1) << (entry.width - 1);
    const quint64 mask = entry.width == 64 ? ~quint64(0) : (top << 1) - 1;
    const auto reflect = [](quint64 v, int w) { quint64 r = 0; for (int i = 0; i < w; ++i, v >>= 1) r = (r << 1) | (v & 1); return r; };
    quint64 crc = entry.init;
    for (const char c : data) {
        const quint64 byte = entry.refin ? reflect(quint64(uchar(c)), 8) : quint64(uchar(c));
        for (int bit = 7; bit >= 0; --bit) {
            const bool in = ((byte >> bit) & 1) != ((crc & top) != 0);
            crc = ((crc << 1) & mask) ^ (in ? entry.poly : 0);
        }
    }
    return ((entry.refout ? reflect(crc, entry.width) : crc) ^ entry.xorout) & mask;
}
