// The relay as the document keeps it: the two sides and the disturbance of each direction, as text
// slots that a document without a relay leaves empty (so such a document reads and writes exactly as
// before).
#pragma once

#include <QString>

class CQnDoc;

struct CRelaySettings
{
    static constexpr int kFirstSlot = 9700;  // text slots 9700–9704
    static constexpr int kSlots = 5;

    QString sideA;
    QString sideB;
    QString disturbAtoB;  // CRelayDisturber words, empty: none
    QString disturbBtoA;
    QString seed;         // empty: a new one each start

    bool IsEmpty() const;
    static CRelaySettings Read(const CQnDoc &doc);
    // Writes the slots that differ from the document's; true when any did.
    bool Write(CQnDoc *doc) const;
};
