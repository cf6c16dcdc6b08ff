#include "platform/cnamelookup.h"

#include "platform/casyncsocket.h"

#include <QCoreApplication>

#include <arpa/inet.h>
#include <pthread.h>
#include <sys/socket.h>

#include <mutex>
#include <thread>

namespace {

// The application object is the answers' way back; a look-up that ends after it has gone (the
// program is ending) has no one to tell.
std::mutex g_homeLock;
bool g_homeGone = false;

void HomeGone()
{
    const std::lock_guard lock(g_homeLock);
    g_homeGone = true;
}

}  // namespace

// Read and written on the user-interface thread only; the look-up thread only carries it back.
struct CNameLookup::Pending
{
    bool cancelled = false;
};

CNameLookup::~CNameLookup()
{
    Cancel();
}

bool CNameLookup::NeedsLookup(const QString &host)
{
    CSocketAddress numbers;
    return !host.isEmpty() && !CSocketAddress::FromNumbers(host, 0, &numbers) && !CSocketAddress::IsMalformed(host);
}

void CNameLookup::Start(const QString &host, int socketType, Done done)
{
    static const bool watched = [] {
        qAddPostRoutine(HomeGone);
        return true;
    }();
    Q_UNUSED(watched);
    Cancel();
    auto pending = std::make_shared<Pending>();
    m_pPending = pending;
    std::thread([this, pending, name = host.toUtf8(), socketType, done = std::move(done)] {
        pthread_setname_np(pthread_self(), "qn-lookup");  // for top -H and a debugger
        QList<CSocketAddress> addresses;
        const bool found = CAsyncSocket::LookUpName(name, socketType, &addresses);
        const std::lock_guard lock(g_homeLock);
        if (g_homeGone)
            return;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, pending, found, addresses, done] {
                if (pending->cancelled)
                    return;  // `this` may be gone: it cancels when it goes
                m_pPending.reset();
                done(found, addresses);
            },
            Qt::QueuedConnection);
    }).detach();
}

void CNameLookup::Cancel()
{
    if (m_pPending)
        m_pPending->cancelled = true;
    m_pPending.reset();
}
