#include "platform/csignalquit.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_signal = 0;

// A second after the first signal the program is ended whatever holds it up (a blocking read of a
// pipe whose writer is silent, a slow name look-up, a file system that does not answer).
void Watchdog(int)
{
    ::_exit(128 + g_signal);
}

void Handler(int signal)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    if (g_signal == 0) {
        g_signal = signal;
        ::alarm(CSignalQuit::kGraceSeconds);
    }
}

}  // namespace

void CSignalQuit::InstallHandlers()
{
    if (g_pipe[0] >= 0)
        return;
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    // Without SA_RESTART: a blocking call that can be interrupted returns, instead of waiting on.
    struct sigaction action = {};
    action.sa_handler = Handler;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    action.sa_handler = Watchdog;
    ::sigaction(SIGALRM, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGALRM);
    ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

CSignalQuit::CSignalQuit(QObject *parent, bool quit) : QObject(parent), m_bQuit(quit)
{
    if (g_pipe[0] < 0)
        return;
    m_pNotifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CSignalQuit::OnSignal);
}

void CSignalQuit::OnSignal()
{
    ::alarm(0);  // the event loop answers: the program ends in its own way
    char buffer[16];
    while (::read(g_pipe[0], buffer, sizeof buffer) > 0) {
    }
    Q_EMIT Received();
    // Not quit(): that closes the windows first, and a window may ask a question or refuse.
    if (m_bQuit)
        QCoreApplication::exit(0);
}
