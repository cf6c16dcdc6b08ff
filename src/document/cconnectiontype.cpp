#include "document/cconnectiontype.h"

#include "document/cqndoc.h"

namespace {

template <typename... Capabilities>
constexpr unsigned Can(Capabilities... capabilities)
{
    return (0u | ... | unsigned(capabilities));
}

// A new transport is one row here (its slots named in CQnDoc), one in net/cendpoint.cpp and one in
// session/ui/cconnectionpage.cpp.
const CConnectionType kTypes[] = {
    {TYPE_UDP, u"        UDP", 0xFFFF00, CQnDoc::SLOT_UDP_ADDRESS, 3, CQnDoc::SLOT_UDP_OPTIONS, 0, 0, Can(Capability::NameLookup),
     nullptr, {}, {}},
    {TYPE_TCP_SERVER, u"   TCP-IP(ｻｰﾊﾞｰ)", 0x00FFFF, CQnDoc::SLOT_SERVER_PORT, 1, CQnDoc::SLOT_SERVER_CLIENTS,
     CQnDoc::SLOT_SERVER_TLS_FIRST, CQnDoc::SLOT_SERVER_TLS_COUNT,
     Can(Capability::Tls, Capability::ManyPeers, Capability::AcceptsClients), nullptr, {}, {}},
    {TYPE_TCP_CLIENT, u"  TCP-IP(ｸﾗｲｱﾝﾄ)", 0xFF00FF, CQnDoc::SLOT_CLIENT_ADDRESS, 3, -1, CQnDoc::SLOT_CLIENT_TLS_FIRST,
     CQnDoc::SLOT_CLIENT_TLS_COUNT, Can(Capability::Tls, Capability::BatchDefault, Capability::NameLookup), nullptr,
     {CQnDoc::SLOT_CLIENT_ADDRESS, CQnDoc::SLOT_CLIENT_PORT, CQnDoc::SLOT_CLIENT_OWN_PORT},
     {CQnDoc::SLOT_CLIENT_RECONNECT, 500, 10000}},
    // A device path runs a batch row over the serial line, its port cell being the baud.
    {TYPE_SERIAL, u"       ｼﾘｱﾙ", 0x80C0FF, CQnDoc::SLOT_SERIAL_DEVICE, 6, CQnDoc::SLOT_SERIAL_OPTIONS, 0, 0,
     Can(Capability::LineControls), "/dev/",
     {CQnDoc::SLOT_SERIAL_DEVICE, CQnDoc::SLOT_SERIAL_BAUD, -1}, {CQnDoc::SLOT_SERIAL_RECONNECT, 1000, 1000}},
};

}  // namespace

QList<int> CConnectionType::SettingSlots() const
{
    QList<int> slotList;
    for (int i = 0; i < count; ++i)
        slotList.append(first + i);
    if (extra >= 0)
        slotList.append(extra);
    return slotList;
}

QList<int> CConnectionType::TlsSlots() const
{
    QList<int> slotList;
    for (int i = 0; i < tlsCount; ++i)
        slotList.append(tlsFirst + i);
    return slotList;
}

std::span<const CConnectionType> CConnectionType::All()
{
    return kTypes;
}

const CConnectionType *CConnectionType::Find(ConnectionType type)
{
    for (const CConnectionType &row : kTypes) {
        if (row.type == type)
            return &row;
    }
    return nullptr;
}

const CConnectionType &CConnectionType::ForBatchAddress(const QString &address)
{
    const CConnectionType *fallback = &kTypes[0];
    for (const CConnectionType &row : kTypes) {
        if (row.batchPrefix && address.startsWith(QLatin1String(row.batchPrefix)))
            return row;
        if (row.Has(Capability::BatchDefault))
            fallback = &row;
    }
    return *fallback;
}

bool CConnectionType::ReconnectsIn(const CQnDoc &document) const
{
    return reconnect.slot >= 0 && document.GetSlotString(reconnect.slot).trimmed() == QLatin1String("1");
}

QStringList CConnectionType::Texts(const CQnDoc &document, const QList<int> &slotList)
{
    QStringList texts;
    for (int slot : slotList)
        texts.append(document.GetSlotString(slot));
    return texts;
}

void CConnectionType::SetTexts(CQnDoc *document, const QList<int> &slotList, const QStringList &texts)
{
    for (qsizetype i = 0; i < slotList.size() && i < texts.size(); ++i)
        document->SetSlotString(slotList[i], texts[i]);
}
