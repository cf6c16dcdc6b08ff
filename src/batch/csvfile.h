// The scenario CSV format and the line reading shared by the scenario and send files.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// Field n (counted from 1) of a CSV line: a double quote switches quoting on and off and is dropped,
// a comma outside quotes ends a field, anything else belongs to the field. Fewer fields give "".
QByteArray CsvField(QByteArrayView line, int n);

// One scenario line as written: every cell as "\"%s\"," in code page 932, nothing escaped, then CR LF.
QByteArray CsvLine(const QStringList &cells);

// Longest line ReadTextLines keeps whole; the rest of a longer line is skipped up to its end.
constexpr qsizetype kMaxTextLine = 1 << 20;

// Reads up to `maxLines` lines of a file opened as text, line ends (LF, CR LF) removed, each line
// whole up to `maxLineBytes` bytes. `opened` (when given) tells whether the file could be opened;
// a file that cannot be opened reads as no lines. `more` (when given) tells whether the file goes on
// after those lines with something other than line ends and blanks.
QList<QByteArray> ReadTextLines(const QString &path, int maxLines, bool *opened = nullptr,
                                qsizetype maxLineBytes = kMaxTextLine, bool *more = nullptr);

// Writes `lines` as the whole file (see WriteWholeFile): all of them arrive, or an earlier file stays
// as it was. False when the file cannot be written; `error` (when given) then holds the cause.
bool WriteCsvFile(const QString &path, const QList<QByteArray> &lines, QString *error = nullptr);
