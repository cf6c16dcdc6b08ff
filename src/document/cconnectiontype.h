// One row per connection type: what the document and the program know of a type without opening
// it — its label, the document slots of its settings (their texts are read by the type's settings
// struct) and what it can do. Code asks a row's capabilities, never which type it is. The endpoint
// of a type is made by the row of the same type in net/cendpoint.cpp; its radio button and settings
// page are the row in session/ui/cconnectionpage.cpp.
#pragma once

#include "platform/qnwin.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <span>

class CQnDoc;

enum class Capability : unsigned {
    Tls = 1u << 0,             // has TLS slots after its own
    ManyPeers = 1u << 1,       // may serve many peers at once, as its settings say
    AcceptsClients = 1u << 2,  // a server: each client that comes is a connection of its own
    BatchDefault = 1u << 3,    // a batch row's address without a prefix of another type runs over it
    NameLookup = 1u << 4,      // its destination may be a host name, looked up before the open
    LineControls = 1u << 5,    // a line with modem lines: DTR and RTS set, a break sent, the lines watched
};

class CConnectionType
{
public:
    // Slots a batch row writes: its address and port cells and the run's own port (-1: none).
    struct BatchSlots
    {
        int address = -1;
        int port = -1;
        int ownPort = -1;
    };

    ConnectionType type;
    const char16_t *label;  // the type label's text
    COLORREF colour;        // and its colour
    int first;              // the settings' slots: `count` from `first`, then `extra` (-1: none)
    int count;
    int extra;
    int tlsFirst;  // the TLS slots, read after the others (count 0: none)
    int tlsCount;
    unsigned capabilities;
    const char *batchPrefix;  // a batch row's address that begins so runs over this type (null: none)
    BatchSlots batch;
    // Reconnect by itself: the slot of its setting (-1: the type has none) and the delays between
    // attempts, from the first doubling to the most (CReconnectSchedule).
    struct Reconnect
    {
        int slot = -1;
        int firstMs = 0;
        int maxMs = 0;
    };
    Reconnect reconnect;

    // The document asks this type to reconnect by itself.
    bool ReconnectsIn(const CQnDoc &document) const;

    bool Has(Capability capability) const { return (capabilities & unsigned(capability)) != 0; }
    QString Label() const { return QString::fromUtf16(label); }
    // The slots the settings dialog edits, in order; the TLS slots; both, as the endpoint reads them.
    QList<int> SettingSlots() const;
    QList<int> TlsSlots() const;
    QList<int> EndpointSlots() const { return SettingSlots() + TlsSlots(); }

    // Every type, in the order the type dialog lists them.
    static std::span<const CConnectionType> All();
    // The row of `type`; null for a value no row has (a file may hold any).
    static const CConnectionType *Find(ConnectionType type);
    // The type a batch row with `address` runs over.
    static const CConnectionType &ForBatchAddress(const QString &address);

    // The texts of `slotList` in the document, in order, and writing them back.
    static QStringList Texts(const CQnDoc &document, const QList<int> &slotList);
    static void SetTexts(CQnDoc *document, const QList<int> &slotList, const QStringList &texts);
};
