#include "display/cdumpformat.h"

#include <cstring>

namespace {

const char kDigits[] = "0123456789abcdef";

void PutOffset(qsizetype offset, char *out)
{
    for (int i = 7; i >= 0; --i, offset >>= 4)
        out[i] = kDigits[offset & 0xF];
}

}  // namespace

int CDumpFormat::FormatRow(QByteArrayView row, qsizetype offset, char *out)
{
    PutOffset(offset, out);
    if (row.isEmpty())
        return 8;
    const int n = int(qMin<qsizetype>(row.size(), kRowBytes));
    std::memset(out + 8, ' ', size_t(kAsciiColumn - 8));
    for (int i = 0; i < n; ++i) {
        const auto c = static_cast<uchar>(row[i]);
        char *hex = out + HexColumn(i);
        hex[0] = kDigits[c >> 4];
        hex[1] = kDigits[c & 0xF];
        out[kAsciiColumn + i] = Printable(c);
    }
    out[kAsciiColumn - 1] = '|';
    out[kAsciiColumn + n] = '|';
    return kAsciiColumn + n + 1;
}

QByteArray CDumpFormat::Dump(QByteArrayView bytes)
{
    QByteArray text;
    text.reserve(RowCount(bytes.size()) * (kRowWidth + 1));
    char row[kRowWidth];
    for (qsizetype offset = 0; offset < bytes.size(); offset += kRowBytes) {
        text.append(row, FormatRow(bytes.sliced(offset, qMin<qsizetype>(kRowBytes, bytes.size() - offset)), offset, row));
        text.append('\n');
    }
    if (!bytes.isEmpty()) {
        text.append(row, FormatRow(QByteArrayView(), bytes.size(), row));
        text.append('\n');
    }
    return text;
}

int CDumpFormat::ByteAtColumn(int column)
{
    if (column >= kAsciiColumn)
        return column < kAsciiColumn + kRowBytes ? column - kAsciiColumn : -1;
    if (column < HexColumn(0) || column >= HexColumn(kRowBytes - 1) + 3)
        return -1;
    const int from = column - HexColumn(0);
    if (from < 24)
        return from / 3;
    return from == 24 ? -1 : (from - 25) / 3 + 8;
}

QString CDumpFormat::Header(QStringView lead, qsizetype size, qint64 gapUs, const QString &mark, bool cut)
{
    QString text = lead.trimmed().toString();
    text += QStringLiteral("  %1 ﾊﾞｲﾄ").arg(size);
    if (cut)
        text += QStringLiteral(" (0x00 以降なし)");
    if (gapUs >= 0)
        text += QStringLiteral("  +%1 ms").arg(double(gapUs) / 1000.0, 0, 'f', 3);
    if (!mark.isEmpty())
        text += QStringLiteral("  ") + mark;
    return text;
}
