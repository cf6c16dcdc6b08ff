// Channels for the tests: one reading a text number through a pattern's group, one reading a field.
#pragma once

#include "session/cchannel.h"

inline CChannel Text(const QString &pattern, int group = 1, int base = 10)
{
    CChannel c;
    c.name = QStringLiteral("t");
    c.pattern = pattern;
    c.group = group;
    c.base = base;
    return c;
}

inline CChannel Binary(int offset, int type, bool bigEndian, double scale = 1.0, double add = 0.0)
{
    CChannel c;
    c.name = QStringLiteral("v");
    c.source = CChannel::SourceBinary;
    c.offset = offset;
    c.type = type;
    c.bigEndian = bigEndian;
    c.scale = scale;
    c.add = add;
    return c;
}
