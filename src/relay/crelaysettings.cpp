#include "relay/crelaysettings.h"

#include "document/cqndoc.h"

bool CRelaySettings::IsEmpty() const
{
    return sideA.isEmpty() && sideB.isEmpty() && disturbAtoB.isEmpty() && disturbBtoA.isEmpty() && seed.isEmpty();
}

CRelaySettings CRelaySettings::Read(const CQnDoc &doc)
{
    CRelaySettings settings;
    QString *fields[kSlots] = {&settings.sideA, &settings.sideB, &settings.disturbAtoB, &settings.disturbBtoA, &settings.seed};
    for (int i = 0; i < kSlots; ++i)
        *fields[i] = doc.GetSlotString(kFirstSlot + i);
    return settings;
}

bool CRelaySettings::Write(CQnDoc *doc) const
{
    const QString *fields[kSlots] = {&sideA, &sideB, &disturbAtoB, &disturbBtoA, &seed};
    bool changed = false;
    for (int i = 0; i < kSlots; ++i) {
        if (doc->GetSlotString(kFirstSlot + i) == *fields[i])
            continue;
        doc->SetSlotString(kFirstSlot + i, *fields[i]);
        changed = true;
    }
    return changed;
}
