// quillnet --checksum NAME [--hex DIGITS | --text TEXT | --file PATH | -]: prints a checksum of the
// bytes given, or the catalogue (NAME "list"), without a display. quillnet --checksum-search [FILE | -]
// or --checksum-search --history FILE: prints the checksum rules that fit sample telegrams.
#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

#include <cstdio>

class QCommandLineParser;

class CChecksumCommand
{
public:
    // The options, in the order the help lists them.
    static QList<QCommandLineOption> Options();
    // True when the command line asks for a checksum or a search.
    static bool IsAsked(const QCommandLineParser &parser);
    // False with the reason in `error` when an input is given as a bare argument where it may not be:
    // a file name without --file (it would be passed over for standard input), or more than one.
    static bool InputIsNamed(const QCommandLineParser &parser, QString *error);
    // Prints the value (or the catalogue) to `out`, a fault to `err`; returns the exit code: 0, or 2
    // for an unknown name, input that is no hex, text the code page lacks a character of, a file
    // that cannot be read (or a folder), or more than one input. A file and standard input are read
    // in pieces: any length in the same memory.
    static int Run(const QCommandLineParser &parser, FILE *in, FILE *out, FILE *err);

private:
    // The search: the rules one a line and 0; none found: a note on `err` and 1; input that cannot
    // be read or holds no sample: 2.
    static int Search(const QCommandLineParser &parser, FILE *in, FILE *out, FILE *err);
};
