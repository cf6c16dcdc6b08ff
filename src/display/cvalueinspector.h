// What a few selected bytes read as: integers of 1 to 8 bytes, signed and unsigned, and floating
// point numbers, in both byte orders; and the bytes as text.
#pragma once

#include <QByteArrayView>
#include <QString>

#include <vector>

class CValueInspector
{
public:
    static constexpr int kMaxBytes = 8;
    struct Reading
    {
        QString type;    // "u16", "f32", "CP932", …
        QString little;  // little-endian (the text, for the text readings)
        QString big;     // big-endian; empty where the order does not matter
    };

    // The readings of the first bytes of `bytes` for every type no wider than they are, then the
    // text readings; nothing for none or more than kMaxBytes bytes.
    static std::vector<Reading> Read(QByteArrayView bytes);
    // The readings as lines for the inspector pane: "u16 LE 769  BE 259    i16 LE 769  BE 259".
    static QString Text(QByteArrayView bytes);
};
