// Ends the event loop on SIGTERM or SIGINT without asking anything, so that a stopped program still
// saves what it keeps (an unsaved document is not written).
#pragma once

#include <QObject>

class QSocketNotifier;

class CSignalQuit : public QObject
{
    Q_OBJECT
public:
    // Installs the signal handlers (and unblocks the two signals); call first thing in main.
    // A signal that arrives before the event loop runs is kept and acted on once it runs.
    static void InstallHandlers();

    explicit CSignalQuit(QObject *parent = nullptr);

private:
    void OnSignal();

    QSocketNotifier *m_pNotifier = nullptr;
};
