#include "session/cchannelparser.h"

#include "display/cchecksumcheck.h"
#include "session/cchannelvalues.h"

#include <QByteArrayView>
#include <QHash>

CChannelParser::CChannelParser() = default;
CChannelParser::~CChannelParser() = default;

QByteArray CChannelParser::LiteralPrefix(const QString &pattern)
{
    if (pattern.contains(QLatin1Char('|')))
        return QByteArray();
    const QStringView special = u"\\^$.|?*+()[]{}";
    const QStringView repeats = u"?*{";
    QByteArray literal;
    for (qsizetype i = pattern.startsWith(QLatin1Char('^')) ? 1 : 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c.unicode() >= 0x80 || special.contains(c)) {
            if (repeats.contains(c))
                literal.chop(1);
            break;
        }
        literal += char(c.unicode());
    }
    return literal;
}

bool CChannelParser::SetTable(const CChannelTable &table, QString *error)
{
    m_channels.clear();
    m_matchers.clear();
    m_patterns.clear();
    m_pChecksum.reset();
    QHash<QString, int> matchers;
    QHash<QString, int> patterns;
    for (int i = 0; i < table.channels.size(); ++i) {
        const CChannel &c = table.channels[i];
        if (!c.Check().isEmpty())
            continue;
        Compiled compiled{i, c.direction, c.client, -1, c.source, -1, c.group, c.base,
                          c.offset, c.type, c.bigEndian, c.scale, c.add};
        if (c.matchKind != CChannel::kNoMatch) {
            const QString key = QString::number(c.matchKind) + (c.matchText ? u't' : u'h') + c.match;
            compiled.match = matchers.value(key, int(m_matchers.size()));
            if (compiled.match == int(m_matchers.size())) {
                matchers.insert(key, compiled.match);
                m_matchers.push_back(std::make_unique<CReplyMatcher>());
                m_matchers.back()->SetRules({c.MatchRule()});
            }
        }
        if (c.source == CChannel::SourcePattern) {
            compiled.pattern = patterns.value(c.pattern, int(m_patterns.size()));
            if (compiled.pattern == int(m_patterns.size())) {
                patterns.insert(c.pattern, compiled.pattern);
                m_patterns.push_back({CReplyRule::CompilePattern(c.pattern), LiteralPrefix(c.pattern)});
            }
        }
        m_channels.push_back(compiled);
    }
    m_matched.assign(m_matchers.size(), Untried);
    m_patternRun.assign(m_patterns.size(), Untried);
    m_patternMatch.assign(m_patterns.size(), QRegularExpressionMatch());
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
    std::fill(m_matched.begin(), m_matched.end(), Untried);
    std::fill(m_patternRun.begin(), m_patternRun.end(), Untried);
    const QByteArrayView bytes(data, length);
    int read = 0;
    QString latin1;  // the telegram read as Latin-1, made for the first pattern run
    for (const Compiled &c : m_channels) {
        if (!(c.direction & dir) || (c.client != 0 && c.client != client))
            continue;
        if (c.match >= 0) {
            Outcome &matched = m_matched[size_t(c.match)];
            if (matched == Untried)
                matched = m_matchers[size_t(c.match)]->Match(data, length) != 0 ? Held : Failed;
            if (matched == Failed)
                continue;
        }
        std::optional<double> number;
        if (c.source == CChannel::SourceBinary) {
            number = CChannel::ReadField(data, length, c.offset, c.type, c.bigEndian);
        } else {
            Outcome &run = m_patternRun[size_t(c.pattern)];
            QRegularExpressionMatch &m = m_patternMatch[size_t(c.pattern)];
            if (run == Untried) {
                const Pattern &pattern = m_patterns[size_t(c.pattern)];
                run = Failed;
                if (pattern.literal.isEmpty() || bytes.indexOf(pattern.literal) >= 0) {
                    if (latin1.isNull())
                        latin1 = QString::fromLatin1(reinterpret_cast<const char *>(data), length);
                    m = pattern.expression.match(latin1);
                    run = m.hasMatch() ? Held : Failed;
                }
            }
            if (run == Held && m.capturedLength(c.group) > 0)
                number = CChannel::ReadNumber(m.capturedView(c.group), c.base);
        }
        if (!number)
            continue;
        values->Add(c.index, when, *number * c.scale + c.add);
        ++read;
    }
    return read;
}
