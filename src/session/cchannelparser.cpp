#include "session/cchannelparser.h"

#include "display/cchecksumcheck.h"
#include "session/cchannelvalues.h"

CChannelParser::CChannelParser() = default;
CChannelParser::~CChannelParser() = default;

bool CChannelParser::SetTable(const CChannelTable &table, QString *error)
{
    m_channels.clear();
    m_pChecksum.reset();
    for (int i = 0; i < table.channels.size(); ++i) {
        const CChannel &c = table.channels[i];
        if (!c.Check().isEmpty())
            continue;
        Compiled compiled{i, c.direction, c.client, nullptr, c.source, QRegularExpression(), c.group, c.base,
                          c.offset, c.type, c.bigEndian, c.scale, c.add};
        if (c.matchKind != CChannel::kNoMatch) {
            compiled.match = std::make_unique<CReplyMatcher>();
            compiled.match->SetRules({c.MatchRule()});
        }
        if (c.source == CChannel::SourcePattern) {
            compiled.pattern = CReplyRule::CompilePattern(c.pattern);
            compiled.pattern.optimize();
        }
        m_channels.push_back(std::move(compiled));
    }
    if (table.checksum.isEmpty())
        return true;
    QString why;
    m_pChecksum = CChecksumCheck::Create(table.checksum, &why);
    if (!m_pChecksum && error)
        *error = why;
    return m_pChecksum != nullptr;
}

int CChannelParser::Feed(char direction, int client, const unsigned char *data, int length, qint64 when,
                         CChannelValues *values) const
{
    if (m_channels.empty())
        return 0;
    const int dir = direction == 'R' ? CChannel::Received : CChannel::Sent;
    if (dir == CChannel::Received && m_pChecksum) {
        const QByteArray telegram = QByteArray::fromRawData(reinterpret_cast<const char *>(data), length);
        if (m_pChecksum->Judge(telegram).verdict == CChecksumCheck::Bad) {
            values->CountBadChecksum();
            return 0;
        }
    }
    int read = 0;
    QString latin1;  // the telegram read as Latin-1, made for the first pattern
    for (const Compiled &c : m_channels) {
        if (!(c.direction & dir) || (c.client != 0 && c.client != client))
            continue;
        if (c.match && c.match->Match(data, length) == 0)
            continue;
        std::optional<double> number;
        if (c.source == CChannel::SourceBinary) {
            number = CChannel::ReadField(data, length, c.offset, c.type, c.bigEndian);
        } else {
            if (latin1.isNull())
                latin1 = QString::fromLatin1(reinterpret_cast<const char *>(data), length);
            const QRegularExpressionMatch m = c.pattern.match(latin1);
            if (m.hasMatch() && m.capturedLength(c.group) > 0)
                number = CChannel::ReadNumber(m.capturedView(c.group), c.base);
        }
        if (!number)
            continue;
        values->Add(c.index, when, *number * c.scale + c.add);
        ++read;
    }
    return read;
}
