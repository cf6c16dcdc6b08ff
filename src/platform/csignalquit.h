// Ends the event loop on SIGTERM or SIGINT without asking anything, so that a stopped program still
// saves what it keeps (an unsaved document is not written); or only reports the signal to a run that
// ends itself. A program whose event loop has not taken the signal kGraceSeconds after it came
// (blocked in a read, a look-up, a file system that does not answer) is ended at once, with the exit
// code 128 + the signal's number.
#pragma once

#include <QObject>

class QSocketNotifier;

class CSignalQuit : public QObject
{
    Q_OBJECT
public:
    static constexpr unsigned kGraceSeconds = 1;

    // Installs the signal handlers (and unblocks the two signals); call first thing in main.
    // A signal that arrives before the event loop runs is kept and acted on once it runs.
    static void InstallHandlers();

    // `quit`: the signal ends the event loop; otherwise it is only reported by Received.
    explicit CSignalQuit(QObject *parent = nullptr, bool quit = true);

Q_SIGNALS:
    void Received();

private:
    void OnSignal();

    QSocketNotifier *m_pNotifier = nullptr;
    bool m_bQuit = true;
};
