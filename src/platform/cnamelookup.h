// Looks a host name up on a thread of its own, so that a slow resolver never holds the
// user-interface thread; the answer comes back on that thread, unless the look-up was cancelled.
#pragma once

#include "platform/csocketaddress.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

class CNameLookup
{
public:
    using Done = std::function<void(bool found, const QList<CSocketAddress> &addresses)>;

    CNameLookup() = default;
    ~CNameLookup();
    CNameLookup(const CNameLookup &) = delete;
    CNameLookup &operator=(const CNameLookup &) = delete;

    // A name to look up: neither empty, nor an address in numbers (IPv4 or IPv6), nor malformed.
    static bool NeedsLookup(const QString &host);
    // Looks `host` up for sockets of `socketType` (replacing a look-up still running); `done` runs
    // on the user-interface thread with the answer.
    void Start(const QString &host, int socketType, Done done);
    // The running look-up's answer is dropped when it comes.
    void Cancel();
    bool IsRunning() const { return m_pPending != nullptr; }

private:
    struct Pending;
    std::shared_ptr<Pending> m_pPending;
};
