// The program's command line: the options it knows, the optional document path, and the answers to
// --help, --version and a wrong option, which need no window system.
#pragma once

#include "app/cbatchoptions.h"
#include "app/crelaycommand.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>

class CCommandLine
{
public:
    // What the program does after reading its command line.
    enum Action { Run, ShowHelp, ShowVersion, Checksum, Fail };
    // Exit status of a command line the program does not understand.
    static constexpr int kUsageExitCode = 2;

    CCommandLine();

    // Reads the arguments (program name first). The first argument that is not an option is the
    // document; later ones are ignored, as they always were. With --checksum the only such argument
    // may be "-" (standard input).
    Action Parse(const QStringList &arguments);
    // Parses, prints the help, the version or the error with the usage, and returns the exit code;
    // -1 when the program is to run.
    int Answer(const QStringList &arguments);

    // --checksum, once parsed: prints the value or the catalogue, returns the exit code.
    int RunChecksum(FILE *in, FILE *out, FILE *err) const;
    QString DocumentPath() const { return m_documentPath; }
    // --batch: a run without a window, with the options that go with it.
    bool IsBatch() const { return !m_batch.scenario.isEmpty() || m_batch.IsCommandsRun(); }
    const CBatchOptions &Batch() const { return m_batch; }
    // --relay: a relay without a window.
    bool IsRelay() const { return m_bRelay; }
    const CRelayCommand::Options &Relay() const { return m_relay; }
    QString ErrorText() const { return m_errorText; }
    QString HelpText() const;
    static QString VersionText();
    // The arguments of main() as text (the file system's encoding, UTF-8).
    static QStringList Arguments(int argc, char *argv[]);

private:
    // An option of the program, shown in the help in the order added.
    void AddOption(const QCommandLineOption &option);
    // Options of the window system that the GUI library takes from the command line itself.
    void AddWindowSystemOptions();

    QCommandLineParser m_parser;
    QList<QCommandLineOption> m_options;
    QCommandLineOption m_helpOption;
    QCommandLineOption m_versionOption;
    QString m_programName;
    QString m_documentPath;
    CBatchOptions m_batch;
    bool m_bRelay = false;
    CRelayCommand::Options m_relay;
    QString m_errorText;
};
