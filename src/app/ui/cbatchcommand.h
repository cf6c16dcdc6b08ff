// A batch run from the command line: the scenario runs through the real view, never shown (the
// program is on the offscreen platform, so no display is needed), with progress on stderr and the
// reports written at the end.
#pragma once

#include "app/cbatchoptions.h"
#include "app/ui/cbatchtrace.h"
#include "document/cqndoc.h"
#include "batch/cbatchrunner.h"
#include "batch/cbatchscenario.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QString>

#include <memory>

class CBatchReport;
class CQnView;

class CBatchCommand : public QObject
{
    Q_OBJECT
public:
    static constexpr int kExitPassed = 0;
    static constexpr int kExitFailed = 1;       // a row ended otherwise than "○:正常終了しました"
    static constexpr int kExitUsage = 2;        // bad usage, or a file that cannot be read or written: nothing sent
    static constexpr int kExitReport = 3;       // the rows ran, but a report could not be written
    static constexpr int kExitInterrupted = 130;  // SIGINT or SIGTERM

    explicit CBatchCommand(const CBatchOptions &options);
    ~CBatchCommand() override;

    // Runs the scenario in an event loop of its own and returns the exit code. Needs the application
    // object; the signal handlers are those of CSignalQuit.
    int Run();

    // Keeps stderr to the run's own lines: the notice the offscreen platform gives when the
    // session has no runtime folder (usual over SSH and in containers) is dropped. Call before the
    // application object is made.
    static void QuietPlatformNotices();

private:
    // Writes one line to stderr.
    static void Say(const QString &line);
    // Reads the scenario and the settings and checks that every report can be written.
    bool Prepare();
    // Says what of the scenario the run would pass over; false when anything.
    bool CheckScenarioNotes(const CBatchScenario::ReadNotes &notes);
    bool CheckWritable(const QString &path);
    bool WriteReports();
    bool WriteFile(const QString &path, const QByteArray &bytes);
    void Fail(const QString &what, const QString &path, const QString &cause);
    QString RowText(int row) const;
    void OnRowStarted(int row);
    void OnRowEnded(int row, int code, double milliseconds);
    void OnFinished(bool aborted);
    void OnSignal();

    CBatchOptions m_options;
    CQnDoc m_doc;
    CBatchRunner m_runner;
    std::unique_ptr<CBatchReport> m_pReport;
    std::unique_ptr<CQnView> m_pView;
    CBatchTrace m_trace;  // --pcapng
    QEventLoop m_loop;
    QElapsedTimer m_clock;
    bool m_bInterrupted = false;
    int m_nRow = 0;  // the row in progress
    bool m_bAborted = false;
};
