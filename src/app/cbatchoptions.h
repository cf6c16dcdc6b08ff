// The options of a batch run without a window (--batch SCENARIO.csv and those that go with it):
// their definitions for the command-line parser and their checked values.
#pragma once

#include "batch/promptjudge.h"
#include "platform/cchecksumrule.h"

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QCommandLineParser;

class CBatchOptions
{
public:
    static constexpr int kMaxRowTimeoutSeconds = 2000000;  // what fits a timer in milliseconds

    // The options, in the order the help lists them.
    static QList<QCommandLineOption> Options();
    // Takes the values from a parser that has parsed the command line with Options() added. False,
    // with `error` set, for a wrong value or an option that needs --batch given without it.
    bool Read(const QCommandLineParser &parser, QString *error);
    // A prompt text with the escapes \r, \n, \xHH and \\ resolved, the rest in code page 932; false
    // for a broken escape.
    static bool DecodePrompt(const QString &text, QByteArray *bytes);
    // The name of the environment variable that may hold the passphrase of an encrypted key.
    static constexpr const char *kKeyPassVariable = "QUILLNET_KEY_PASS";
    // The key's passphrase: the first line of `file` when one is given, else the environment
    // variable's value; false (with `reason` when the file cannot be read) when there is none.
    // --commands and the options that go with it (called by Read).
    bool ReadCommandsRun(const QCommandLineParser &parser, QString *error);
    static bool ReadKeyPassphrase(const QString &file, QByteArray *passphrase, QString *reason);

    QString scenario;  // empty: no batch run
    QString settings;
    QString results;
    QString junit;
    QString timings;
    int rowTimeoutMs = 0;  // 0: no limit
    std::optional<PromptSettings> prompts;  // unset: the store's
    bool quiet = false;
    bool replyRules = false;  // the document's reply rules answer during the run
    // TLS for every row: on (verifying against the system's CA store), against a CA file, or not
    // verifying; off leaves the document's TLS settings as they are.
    bool tls = false;
    QString caFile;
    bool insecure = false;
    QString keyPassFile;  // the passphrase of an encrypted key, read at each use; empty: the environment's
    std::shared_ptr<const CChecksumRule> checksum;  // put into every line sent; null: none
    QString values;  // the channels' values as CSV; empty: none
    QString pcapng;  // the trace of the run's telegrams ("-": standard output); empty: none
    QByteArray pcapngSerial;  // the dissector of serial telegrams in the trace; empty: "data"
    // --batch --commands: sequences of a commands file run instead of a scenario, over one
    // connection made to `to` (a scenario row's address) or taken from a client on `listen`.
    QString commands;
    QStringList run;
    QString to;
    QString listen;
    bool IsCommandsRun() const { return !commands.isEmpty(); }
};
