// What the kernel says about this process and its sockets, and waiting in the real event loop.
#pragma once

#include <QtGlobal>

#include <functional>

namespace SoakProbe {

// Entries of /proc/self/fd.
int OpenDescriptors();
// VmRSS of /proc/self/status in kB.
qint64 ResidentKilobytes();

// The kernel's counters of the UDP socket bound to `port` (any local address), from /proc/net/udp or udp6.
struct UdpCounters
{
    bool found = false;
    qint64 receiveQueue = 0;  // bytes waiting to be read
    qint64 drops = 0;         // datagrams the kernel dropped for this socket
};
UdpCounters UdpSocket(quint16 port);

// Runs the event loop (no sleeping) until `done` holds or `timeoutMs` has passed; true when it held.
bool RunUntil(const std::function<bool()> &done, int timeoutMs);

}  // namespace SoakProbe
