// The whole program for a test: the real main frame and view over a document, driven as a user does.
#pragma once

#include "document/cqndoc.h"
#include "app/ui/cmainframe.h"
#include "session/ui/cqnview.h"
#include "support/scriptedprompts.h"

#include <QStringList>

#include <memory>

class SessionHarness
{
public:
    SessionHarness();
    ~SessionHarness();

    CQnView *View() const { return m_pFrame->GetActiveView(); }
    CMainFrame *Frame() const { return m_pFrame.get(); }
    CQnDoc &Doc() { return m_doc; }
    ScriptedPrompts &Prompts() { return m_prompts; }

    // Sets the type and the settings slots as the settings commands would, then re-reads them.
    void Configure(int type, const QStringList &slotTexts, int firstSlot);
    // Configures a TCP server on port 0: the system gives it a port when it listens (OwnPort()).
    void ConfigureTcpServer();
    // Configures UDP to a loopback peer from own port 0: the system's choice once open (OwnPort()).
    void ConfigureUdp(quint16 peerPort);
    // The local port of the open endpoint, as the connection pane reports it (0: none open).
    quint16 OwnPort() const;
    // Posts a session event and waits until the view has handled it and everything it posted.
    void Event(int event, LPARAM lParam = 0);
    // Runs a command as the menu would (through the frame).
    void Command(int id);
    // Waits until the event loop has run every message posted so far.
    static void Settle();
    // A path for a file of the test's own in the test's temporary folder (created when missing).
    static QString TempPath(const QString &name);

    // Log and History lines without their time stamps.
    QStringList LogLines() const;
    QStringList HistoryLines() const;
    // Log lines written since the last call.
    QStringList NewLogLines();

private:
    std::unique_ptr<CMainFrame> m_pFrame;
    CQnDoc m_doc;
    ScriptedPrompts m_prompts;
    int m_nLogSeen = 0;
};
