// Scenario and send files from arbitrary bytes: lines come back without their ends and within their
// limits, fields never keep a quote, and cells written as a scenario line read back unchanged.
#include "batch/csvfile.h"
#include "fuzzsupport.h"
#include "platform/cp932.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

// The lines `content` holds: split at LF, the CR of a CR LF removed, each cut to `maxLineBytes`.
QList<QByteArray> ExpectedLines(const QByteArray &content, int maxLines, qsizetype maxLineBytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < content.size() && lines.size() < maxLines) {
        const qsizetype end = content.indexOf('\n', start);
        QByteArray line = content.mid(start, end < 0 ? -1 : end - start);
        if (end >= 0 && line.endsWith('\r'))
            line.chop(1);
        lines.append(line.left(maxLineBytes));
        start = end < 0 ? content.size() : end + 1;
    }
    return lines;
}

void CheckFields(QByteArrayView line)
{
    const bool quoted = line.contains('"');
    const QList<QByteArray> plain = line.toByteArray().split(',');
    for (int n = 0; n <= 6; ++n) {
        const QByteArray field = CsvField(line, n);
        Require(!field.contains('"'), "a field never keeps a quote");
        Require(field.size() <= line.size(), "a field is part of its line");
        if (!quoted)
            Require(field == (n >= 1 && n <= plain.size() ? plain[n - 1] : QByteArray()), "unquoted fields split at commas");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const int maxLines = input.ConsumeIntegralInRange(0, 64);
    const qsizetype maxLineBytes = input.ConsumeBool() ? kMaxTextLine : input.ConsumeIntegralInRange(1, 96);
    const std::string rest = input.ConsumeRemainingBytesAsString();
    const QByteArray content(rest.data(), qsizetype(rest.size()));

    static const QString path = ScratchPath(QStringLiteral("lines.csv"));
    WriteWholeFile(path, content);
    bool opened = false;
    const QList<QByteArray> lines = ReadTextLines(path, maxLines, &opened, maxLineBytes);
    Require(opened, "an existing file opens");
    Require(lines == ExpectedLines(content, maxLines, maxLineBytes), "lines read as written");
    for (const QByteArray &line : lines)
        CheckFields(line);

    // The same bytes as cells of a scenario line (a cell holds neither a quote nor a line break).
    QStringList cells = FromCp932(content).split(QLatin1Char('\t'));
    for (QString &cell : cells)
        cell.remove(QLatin1Char('"')).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
    const QByteArray written = CsvLine(cells);
    Require(WriteCsvFile(path, {written, written}), "a scenario file is written");
    const QList<QByteArray> back = ReadTextLines(path, 200);
    Require(back.size() == 2 && back[0] == back[1], "both scenario lines read back");
    for (int k = 0; k < cells.size(); ++k)
        Require(CsvField(back[0], k + 1) == ToCp932(cells[k]), "a written cell reads back");
    Require(CsvField(back[0], int(cells.size()) + 1).isEmpty(), "nothing after the last cell");
    return 0;
}
