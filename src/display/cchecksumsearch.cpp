#include "display/cchecksumsearch.h"

#include "display/ccrcsolver.h"
#include "platform/cchecksum.h"

#include <QRegularExpression>

#include <algorithm>
#include <iterator>

namespace {

struct Fit
{
    int leftOut;  // header and trailer bytes
    int order;    // catalogue order
    QString rule;
};

QString RuleText(const CChecksum::Entry &entry, int header, int trailer, bool littleEndian, bool ascii,
                 const QByteArray &terminator)
{
    QStringList options;
    if (header)
        options << QStringLiteral("from=%1").arg(header);
    if (trailer)
        options << QStringLiteral("end=%1").arg(trailer);
    if (!terminator.isEmpty())
        options << QStringLiteral("before=") + QString::fromLatin1(terminator.toHex().toUpper());
    if (littleEndian)
        options << QStringLiteral("le");
    const bool asciiByDefault = entry.kind == CChecksum::KIND_LRC_ASCII;
    if (ascii != asciiByDefault)
        options << (ascii ? QStringLiteral("ascii") : QStringLiteral("bin"));
    const QString name = QString::fromLatin1(entry.name);
    return options.isEmpty() ? name : name + QLatin1Char(':') + options.join(QLatin1Char(','));
}

}  // namespace

QStringList CChecksumSearch::Find(const QList<QByteArray> &given, qint64 msLeft)
{
    // Telegrams longer than a checksum is usually put on are left out: the search stays quick.
    QList<QByteArray> samples;
    for (const QByteArray &sample : given)
        if (sample.size() <= kMaxSample)
            samples << sample;
    if (samples.isEmpty())
        return {};
    // A terminator every sample ends with: the checksum may stand before it.
    QList<QByteArray> terminators{QByteArray()};
    for (const QByteArray &end : {QByteArray("\r\n"), QByteArray("\r"), QByteArray("\n")}) {
        if (std::all_of(samples.begin(), samples.end(), [&](const QByteArray &s) { return s.endsWith(end); })) {
            terminators << end;
            break;
        }
    }
    QList<Fit> fits;
    int count = 0;
    const CChecksum::Entry *entries = CChecksum::Entries(&count);
    for (int index = 0; index < count; ++index) {
        if (entries[index].width > 64)
            continue;  // the search tries CRCs of up to 64 bits
        const CChecksum checksum(entries[index]);
        const int bytes = checksum.Bytes();
        for (const QByteArray &terminator : terminators) {
            for (const bool ascii : {false, true}) {
                const int size = ascii ? 2 * bytes : bytes;
                for (const bool littleEndian : {false, true}) {
                    if (littleEndian && bytes == 1)
                        continue;
                    // The first header and trailer that fit (a longer header of bytes that change
                    // nothing fits as well and says no more). Per header, each sample's value is
                    // carried from the longest trailer to the shortest.
                    for (int header = 0; header <= kMaxHeader; ++header) {
                        bool fitting[kMaxTrailer + 1];
                        std::fill(std::begin(fitting), std::end(fitting), true);
                        for (const QByteArray &sample : samples) {
                            const qsizetype end = sample.size() - terminator.size();
                            CChecksum::State state = checksum.Init();
                            qsizetype at = header;
                            for (int trailer = kMaxTrailer; trailer >= 0; --trailer) {
                                const qsizetype stop = end - size - trailer;
                                if (!fitting[trailer] || stop - header < 1) {
                                    fitting[trailer] = false;
                                    continue;
                                }
                                checksum.Update(state, sample.constData() + at, stop - at);
                                at = stop;
                                const QByteArray expected = checksum.ValueBytes(checksum.Final(state), !littleEndian, ascii);
                                fitting[trailer] = QByteArrayView(sample).sliced(stop + trailer, size).compare(
                                                       expected, ascii ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0;
                            }
                            if (std::none_of(std::begin(fitting), std::end(fitting), [](bool f) { return f; }))
                                break;
                        }
                        const auto first = std::find(std::begin(fitting), std::end(fitting), true);
                        if (first != std::end(fitting)) {
                            const int trailer = int(first - std::begin(fitting));
                            fits.append({header + trailer, index,
                                         RuleText(entries[index], header, trailer, littleEndian, ascii, terminator)});
                            break;
                        }
                    }
                }
            }
        }
    }
    std::stable_sort(fits.begin(), fits.end(), [](const Fit &a, const Fit &b) { return a.leftOut < b.leftOut; });
    QStringList rules;
    for (const Fit &fit : fits)
        rules << fit.rule;
    if (rules.isEmpty())
        rules = CCrcSolver::Solve(samples, msLeft);
    return rules;
}

QList<QByteArray> CChecksumSearch::FromHexLines(const QByteArray &text, QString *error)
{
    static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
    QList<QByteArray> samples;
    int number = 0;
    for (const QByteArray &raw : text.split('\n')) {
        ++number;
        QString line = QString::fromLatin1(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        line.remove(QRegularExpression(QStringLiteral("\\s+")));
        if (!hex.match(line).hasMatch()) {
            *error = QStringLiteral("%1 行目が16進数ではありません: %2").arg(number).arg(QString::fromLatin1(raw).trimmed().left(60));
            return {};
        }
        samples << QByteArray::fromHex(line.toLatin1());
    }
    error->clear();
    return samples;
}

QList<QByteArray> CChecksumSearch::FromHistory(const QByteArray &text)
{
    // "12/07/06 09:05:03[.123]  R[@sender] [(+12.345 ms) ]0AFF..."
    static const QRegularExpression line(QStringLiteral(
        "^\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d(?:\\.\\d{3})?  R(?:@\\S+)? (?:\\(\\+[0-9.]+ ms\\) )?((?:[0-9A-F]{2})+)\\r?$"));
    QList<QByteArray> samples;
    for (const QByteArray &raw : text.split('\n')) {
        const QRegularExpressionMatch match = line.match(QString::fromUtf8(raw));
        if (match.hasMatch())
            samples << QByteArray::fromHex(match.captured(1).toLatin1());
    }
    return samples;
}
