// The text of a telegram's bytes as a hex + ASCII dump: rows of 16 bytes, each "offset  8 pairs  8
// pairs  |ASCII|", then a row holding the offset after the last byte; and the line heading each telegram.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

class CDumpFormat
{
public:
    static constexpr int kRowBytes = 16;
    // Characters of a full row, without its line break.
    static constexpr int kRowWidth = 78;
    static constexpr int kAsciiColumn = 61;

    // Rows of a telegram of `size` bytes: one per 16 bytes and the end row; none for an empty one.
    static qsizetype RowCount(qsizetype size) { return size > 0 ? (size + kRowBytes - 1) / kRowBytes + 1 : 0; }
    // Writes the row of the bytes `row` (at most 16, the ones from `offset` on) to `out`, which holds
    // kRowWidth characters; an empty `row` writes the end row (the offset alone). Returns its length.
    static int FormatRow(QByteArrayView row, qsizetype offset, char *out);
    // Every row of `bytes`, each ended by a line feed.
    static QByteArray Dump(QByteArrayView bytes);
    // Column of the first hex digit of the i-th byte of a row, and of its ASCII character.
    static int HexColumn(int i) { return 10 + 3 * i + (i >= 8 ? 1 : 0); }
    static int AsciiColumn(int i) { return kAsciiColumn + i; }
    // The byte of a row (0-15) a column shows, in its hex pair (with the blank after it) or ASCII
    // column; -1 for the offset and the gaps.
    static int ByteAtColumn(int column);
    // The printable form of a byte: itself for 0x20-0x7E, '.' else.
    static char Printable(uchar c) { return c >= 0x20 && c < 0x7F ? char(c) : '.'; }

    // The heading line: `lead` (the stamp and direction as the line view shows them), the length,
    // the time since the previous telegram (`gapUs` < 0: none) and the checksum mark (empty: none).
    // `cut`: the window holds only the bytes before a zero byte of the telegram.
    static QString Header(QStringView lead, qsizetype size, qint64 gapUs, const QString &mark, bool cut = false);
};
