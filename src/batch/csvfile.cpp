#include "batch/csvfile.h"

#include "platform/cp932.h"
#include "platform/fileerrortext.h"
#include "platform/wholefile.h"

#include <QFile>

#include <algorithm>

QByteArray CsvField(QByteArrayView line, int n)
{
    QByteArray field;
    bool quoted = false;
    int count = 0;
    // The line is scanned as if one comma followed it, so the last field ends like the others.
    for (qsizetype i = 0; i <= line.size(); ++i) {
        const char c = i < line.size() ? line[i] : ',';
        if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            if (++count == n)
                return field;
            field.clear();
        } else {
            field += c;
        }
    }
    return {};
}

QByteArray CsvLine(const QStringList &cells)
{
    QByteArray line;
    for (const QString &cell : cells)
        line += '"' + ToCp932(cell) + "\",";
    return line + "\r\n";
}

QList<QByteArray> ReadTextLines(const QString &path, int maxLines, bool *opened, qsizetype maxLineBytes, bool *more)
{
    if (more)
        *more = false;
    QList<QByteArray> lines;
    QFile file(path);
    const bool ok = file.open(QIODevice::ReadOnly);
    if (opened)
        *opened = ok;
    if (!ok)
        return lines;
    constexpr qsizetype kChunk = 64 * 1024;
    // Room for a CR LF beyond the limit: a line end is recognised as one before the line is cut, and
    // a CR inside an overlong line stays text.
    const qsizetype keep = maxLineBytes + 2;
    // Read until a read gives nothing, never by the file's size: a pipe (/dev/stdin, a process
    // substitution) has none and holds its bytes until its writer closes it.
    bool end = false;
    while (lines.size() < maxLines && !end) {
        QByteArray line;
        bool ended = false;
        // Read in chunks so that an overlong line never takes more than `keep` bytes of memory.
        while (!ended) {
            QByteArray part = file.readLine(kChunk);
            if (part.isEmpty()) {
                end = true;
                break;
            }
            ended = part.endsWith('\n');
            if (line.size() < keep)
                line += part.left(keep - line.size());
        }
        if (end && line.isEmpty())
            break;
        if (line.endsWith('\n')) {
            line.chop(1);
            if (line.endsWith('\r'))
                line.chop(1);
        }
        line.truncate(maxLineBytes);
        lines.append(line);
    }
    // The rest is only looked through, never kept.
    while (more && !end && !*more) {
        const QByteArray part = file.read(kChunk);
        end = part.isEmpty();
        *more = std::any_of(part.begin(), part.end(), [](char c) { return c != '\r' && c != '\n' && c != ' ' && c != '\t'; });
    }
    return lines;
}

bool WriteCsvFile(const QString &path, const QList<QByteArray> &lines, QString *error)
{
    int code = 0;
    if (WriteWholeFile(path, lines.join(), &code))
        return true;
    if (error)
        *error = FileErrorText(code);
    return false;
}
