// Reads the channels' values out of telegrams on the receive and send paths: each channel's match
// (the reply rules' matcher) selects the telegrams, then its pattern group or binary field gives the
// number. A received telegram whose checksum does not hold gives no value and is counted.
#pragma once

#include "session/cchanneltable.h"
#include "session/creplymatcher.h"

#include <QRegularExpression>
#include <QString>

#include <memory>
#include <vector>

class CChannelValues;
class CChecksumCheck;

class CChannelParser
{
public:
    CChannelParser();
    ~CChannelParser();

    // Takes the table's usable channels and checksum; false with the reason when the checksum rule
    // cannot be read (telegrams are then read unchecked).
    bool SetTable(const CChannelTable &table, QString *error = nullptr);
    bool IsEmpty() const { return m_channels.empty(); }

    // Reads one telegram ('R' received, 'S' sent; `client` the many-clients number, 0 for none)
    // into `values` with the time `when`. Returns the number of values read.
    int Feed(char direction, int client, const unsigned char *data, int length, qint64 when, CChannelValues *values) const;

private:
    struct Compiled
    {
        int index;
        int direction;
        int client;
        std::unique_ptr<CReplyMatcher> match;  // null: every telegram
        int source;
        QRegularExpression pattern;
        int group;
        int base;
        int offset;
        int type;
        bool bigEndian;
        double scale;
        double add;
    };
    std::vector<Compiled> m_channels;
    std::unique_ptr<CChecksumCheck> m_pChecksum;
};
