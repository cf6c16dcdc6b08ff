#include "display/cvalueinspector.h"

#include "display/ctextdecoding.h"

#include <QStringList>

#include <cstring>

namespace {

quint64 Unsigned(QByteArrayView bytes, int size, bool big)
{
    quint64 value = 0;
    for (int i = 0; i < size; ++i) {
        const auto c = static_cast<uchar>(bytes[big ? i : size - 1 - i]);
        value = value << 8 | c;
    }
    return value;
}

qint64 Signed(quint64 value, int size)
{
    const int unused = 64 - 8 * size;
    return qint64(value << unused) >> unused;
}

QString Float(quint64 bits, int size)
{
    if (size == 4) {
        const auto word = quint32(bits);
        float value;
        std::memcpy(&value, &word, sizeof value);
        return QString::number(double(value), 'g', 9);
    }
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return QString::number(value, 'g', 17);
}

}  // namespace

std::vector<CValueInspector::Reading> CValueInspector::Read(QByteArrayView bytes)
{
    std::vector<Reading> readings;
    if (bytes.isEmpty() || bytes.size() > kMaxBytes)
        return readings;
    for (const int size : {1, 2, 4, 8}) {
        if (size > bytes.size())
            break;
        const quint64 little = Unsigned(bytes, size, false);
        const quint64 big = Unsigned(bytes, size, true);
        const QString bits = QString::number(8 * size);
        const bool one = size == 1;
        readings.push_back({QStringLiteral("u") + bits, QString::number(little), one ? QString() : QString::number(big)});
        readings.push_back({QStringLiteral("i") + bits, QString::number(Signed(little, size)),
                            one ? QString() : QString::number(Signed(big, size))});
        if (size >= 4)
            readings.push_back({QStringLiteral("f") + bits, Float(little, size), Float(big, size)});
    }
    readings.push_back({QStringLiteral("CP932"), CTextDecoding::Decode(bytes, CTextDecoding::ShiftJis, true), QString()});
    readings.push_back({QStringLiteral("UTF-8"), CTextDecoding::Decode(bytes, CTextDecoding::Utf8, true), QString()});
    return readings;
}

QString CValueInspector::Text(QByteArrayView bytes)
{
    // One line per width (u16 and i16 together, …) and one for the texts: five lines at most.
    QStringList lines;
    QString group;
    for (const Reading &reading : Read(bytes)) {
        const QString key = reading.type.front().isLower() ? reading.type.mid(1) : QString();  // "16", or the texts
        if (lines.isEmpty() || key != group)
            lines.append(QString());
        else
            lines.back() += QLatin1String("    ");
        group = key;
        lines.back() += reading.type + u' '
                        + (reading.big.isEmpty() ? reading.little : QStringLiteral("LE %1  BE %2").arg(reading.little, reading.big));
    }
    return lines.join(u'\n');
}
