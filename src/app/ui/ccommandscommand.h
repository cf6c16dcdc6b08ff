// A run of command sequences from the command line (--batch --commands): the sequences run one
// after another over one connection the real view makes, never shown, with progress on stderr and
// the reports written at the end. Exit codes are those of the batch run.
#pragma once

#include "app/cbatchoptions.h"
#include "app/ui/cbatchtrace.h"
#include "document/cqndoc.h"
#include "session/ccommandsfile.h"
#include "session/csequencereport.h"
#include "session/csequencerunner.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CConnectionType;
class CQnView;
class CTlsSettings;

class CCommandsCommand : public QObject
{
    Q_OBJECT
public:
    explicit CCommandsCommand(const CBatchOptions &options);
    ~CCommandsCommand() override;

    int Run();

    // The document's settings for `address` as --to gives it ("HOST:PORT", "[::1]:PORT",
    // "tls://HOST:PORT", "/dev/ttyX:BAUD") or, with `listen`, as --listen gives it ("[HOST:]PORT"):
    // the connection type; false with the reason.
    static bool Point(CQnDoc *doc, const QString &address, bool listen, QString *why);

private:
    static void Say(const QString &line);
    // The TLS settings of `row`'s type in `doc`, read, changed by `change` and written back.
    static void UseTls(CQnDoc *doc, const CConnectionType &row, const std::function<void(CTlsSettings *)> &change);
    bool Prepare();
    void OnViewChanged();
    void RunNext();
    void OnFinished(int outcome, const QString &failure);
    void OnSignal();
    bool WriteFile(const QString &path, const QByteArray &bytes);

    enum Phase { Connecting, Running, Closing, Done };
    CBatchOptions m_options;
    CQnDoc m_doc;
    CCommandsFile m_file;
    QList<CCommandsFile::Sequence> m_run;
    CSequenceReport m_report;
    CSequenceRunner m_runner;
    std::unique_ptr<CQnView> m_pView;
    CBatchTrace m_trace;  // --pcapng
    QEventLoop m_loop;
    QElapsedTimer m_clock;
    QElapsedTimer m_sequenceClock;
    Phase m_phase = Connecting;
    bool m_bConnectHandled = false;  // the connect has been handled: its outcome can be judged
    bool m_bListenSaid = false;
    int m_nLostStep = 0;             // the step the connection went at
    int m_nIndex = -1;
    bool m_bInterrupted = false;
};
