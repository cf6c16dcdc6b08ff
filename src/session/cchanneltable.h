// The value channels of a document: the ordered channels and the checksum rule a received telegram
// must pass to be read, kept in two text slots of the document and written to and read from CSV.
#pragma once

#include "session/cchannel.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class CQnDoc;

class CChannelTable
{
public:
    static constexpr int kMaxChannels = 256;
    static constexpr int kColumns = 18;

    QList<CChannel> channels;
    // A checksum rule ("CRC-16/MODBUS:le"); a received telegram whose checksum does not hold gives
    // no value. Empty: none.
    QString checksum;

    bool operator==(const CChannelTable &) const = default;
    bool IsEmpty() const { return channels.isEmpty() && checksum.isEmpty(); }

    // Reads the table from the document's slots (CQnDoc::SLOT_CHANNELS, SLOT_CHANNEL_CHECKSUM); false
    // with the reason when the stored table is damaged (the table is then empty).
    bool Load(const CQnDoc &document, QString *error = nullptr);
    // Writes the table; an empty table leaves both slots empty.
    void Store(CQnDoc &document) const;

    // CSV in the scenario file's conventions: a header line, then one line a channel.
    QList<QByteArray> ToCsv() const;
    // Channels from CSV lines (a first line that is the header is skipped). On failure `error` says
    // "3 行目 7 列目: …" and `out` is untouched.
    static bool FromCsv(const QList<QByteArray> &lines, QList<CChannel> *out, QString *error);

    static QStringList Header();
    // The cells of a channel as the CSV and the table dialog show them, and back (false with the
    // failing column, from 1, and the reason).
    static QStringList Cells(const CChannel &channel);
    static bool FromCells(const QStringList &cells, CChannel *channel, int *column, QString *error);

    static QString DirectionText(int direction);
    static QString NumberText(double value);  // plain digits: "1500", "0.25", "" for NaN
};
