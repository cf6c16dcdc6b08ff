#include "session/cchannelparser.h"

#include "display/cchecksumcheck.h"
#include "session/cchannelvalues.h"

#include <QHash>

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The bytes as UTF-16 units of their Latin-1 characters, 16 at a time where the processor can.
void Widen(const unsigned char *data, int length, char16_t *out)
{
    int i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= length; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i + 8), _mm_unpackhi_epi8(bytes, zero));
    }
#endif
    for (; i < length; ++i)
        out[i] = data[i];
}

}  // namespace

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
    m_selections.clear();
    m_everyTelegram.clear();
    for (std::vector<int> &selections : m_byFirstByte)
        selections.clear();
    m_matchers.clear();
    m_patterns.clear();
    m_literals.Clear();
    m_pChecksum.reset();
    QHash<QString, int> selections;  // by match; "" for every telegram
    QHash<QString, int> patterns;
    for (int i = 0; i < table.channels.size(); ++i) {
        const CChannel &c = table.channels[i];
        if (!c.Check().isEmpty())
            continue;
        Compiled compiled{i, c.direction, c.client, c.source, -1, c.group, c.base,
                          c.offset, c.type, c.bigEndian, c.scale, c.add};
        const QString key = c.matchKind == CChannel::kNoMatch
                                ? QString()
                                : QString::number(c.matchKind) + (c.matchText ? u't' : u'h') + c.match;
        int selection = selections.value(key, int(m_selections.size()));
        if (selection == int(m_selections.size())) {
            selections.insert(key, selection);
            Selection made;
            if (c.matchKind != CChannel::kNoMatch) {
                made.matcher = int(m_matchers.size());
                const CReplyRule rule = c.MatchRule();
                m_matchers.push_back(std::make_unique<CReplyMatcher>());
                m_matchers.back()->SetRules({rule});
                // A head of plain bytes (no `??`) holds exactly where its bytes begin the telegram,
                // as the matcher finds it.
                QByteArray bytes;
                QByteArray mask;
                if ((c.matchKind == CReplyRule::KindEquals || c.matchKind == CReplyRule::KindStartsWith) &&
                    rule.DecodeMatch(&bytes, &mask) && mask.isEmpty() && !bytes.isEmpty()) {
                    made.headKind = c.matchKind;
                    made.head = bytes;
                }
            }
            if (made.headKind >= 0)
                m_byFirstByte[static_cast<unsigned char>(made.head[0])].push_back(selection);
            else
                m_everyTelegram.push_back(selection);
            m_selections.push_back(std::move(made));
        }
        Selection &selected = m_selections[size_t(selection)];
        const int channel = int(m_channels.size());
        int literal = -1;
        if (c.source == CChannel::SourcePattern) {
            compiled.pattern = patterns.value(c.pattern, int(m_patterns.size()));
            if (compiled.pattern == int(m_patterns.size())) {
                patterns.insert(c.pattern, compiled.pattern);
                const QByteArray prefix = LiteralPrefix(c.pattern);
                // No match can begin before the first place of its plain beginning, so the search
                // starts there; but \G asserts the place the search started at.
                m_patterns.push_back({std::make_unique<CPatternRun>(c.pattern), prefix.isEmpty() ? -1 : m_literals.Add(prefix),
                                      !c.pattern.contains(QStringLiteral("\\G"))});
            }
            literal = m_patterns[size_t(compiled.pattern)].literal;
        }
        if (literal >= 0)
            selected.byLiteral.push_back({literal, channel});
        else
            selected.channels.push_back(channel);
        m_channels.push_back(compiled);
    }
    for (Selection &selection : m_selections) {
        std::sort(selection.byLiteral.begin(), selection.byLiteral.end());
        if (selection.byLiteral.empty())
            continue;
        selection.literalStart.assign(size_t(m_literals.Count()) + 1, 0);
        for (const auto &[literal, channel] : selection.byLiteral)
            ++selection.literalStart[size_t(literal) + 1];
        for (size_t l = 1; l < selection.literalStart.size(); ++l)
            selection.literalStart[l] += selection.literalStart[l - 1];
    }
    m_patternRun.assign(m_patterns.size(), Untried);
    if (table.checksum.isEmpty())
        return true;
    QString why;
    m_pChecksum = CChecksumCheck::Create(table.checksum, &why);
    if (!m_pChecksum && error)
        *error = why;
    return m_pChecksum != nullptr;
}

bool CChannelParser::Holds(const Selection &selection, const unsigned char *data, int length) const
{
    if (selection.matcher < 0)
        return true;
    const qsizetype size = selection.head.size();
    switch (selection.headKind) {
    case CReplyRule::KindEquals:
        return length == size && std::memcmp(data, selection.head.constData(), size_t(size)) == 0;
    case CReplyRule::KindStartsWith:
        return length >= size && std::memcmp(data, selection.head.constData(), size_t(size)) == 0;
    default: return m_matchers[size_t(selection.matcher)]->Match(data, length) != 0;
    }
}

bool CChannelParser::ReadChannel(int k, int dir, int client, const unsigned char *data, int length, qint64 when,
                                 CChannelValues *values) const
{
    const Compiled &c = m_channels[size_t(k)];
    if (!(c.direction & dir) || (c.client != 0 && c.client != client))
        return false;
    std::optional<double> number;
    if (c.source == CChannel::SourceBinary) {
        number = CChannel::ReadField(data, length, c.offset, c.type, c.bigEndian);
    } else {
        const Pattern &pattern = m_patterns[size_t(c.pattern)];
        Outcome &run = m_patternRun[size_t(c.pattern)];
        if (run == Untried) {
            if (!m_bSubjectMade) {
                // Latin-1: each byte is one character, so `.` and \xHH take any byte.
                if (m_subject.size() < size_t(length))
                    m_subject.resize(size_t(length));
                Widen(data, length, m_subject.data());
                m_bSubjectMade = true;
            }
            const int from = pattern.literal >= 0 && pattern.fromLiteral ? m_literalAt[size_t(pattern.literal)] : 0;
            run = pattern.run->Run(QStringView(m_subject.data(), length), from) ? Held : Failed;
        }
        if (run == Held) {
            const QStringView text = pattern.run->Captured(c.group);
            if (!text.isEmpty())
                number = CChannel::ReadNumber(text, c.base);
        }
    }
    if (!number)
        return false;
    values->Add(c.index, when, *number * c.scale + c.add);
    return true;
}

int CChannelParser::Read(const Selection &selection, int dir, int client, const unsigned char *data, int length,
                         qint64 when, CChannelValues *values) const
{
    int read = 0;
    for (const int k : selection.channels)
        read += ReadChannel(k, dir, client, data, length, when, values);
    if (selection.byLiteral.empty())
        return read;
    // A pattern with a plain beginning can match only where the telegram holds it: only the
    // channels of the beginnings found are read.
    if (!m_bLiteralsFound) {
        m_literals.Find(data, length, &m_literalAt, &m_literalsFound);
        m_bLiteralsFound = true;
    }
    for (const int literal : m_literalsFound) {
        for (int i = selection.literalStart[size_t(literal)]; i < selection.literalStart[size_t(literal) + 1]; ++i)
            read += ReadChannel(selection.byLiteral[size_t(i)].second, dir, client, data, length, when, values);
    }
    return read;
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
    std::fill(m_patternRun.begin(), m_patternRun.end(), Untried);
    m_bLiteralsFound = false;
    m_bSubjectMade = false;
    int read = 0;
    for (const int s : m_everyTelegram) {
        const Selection &selection = m_selections[size_t(s)];
        if (Holds(selection, data, length))
            read += Read(selection, dir, client, data, length, when, values);
    }
    if (length > 0) {
        for (const int s : m_byFirstByte[data[0]]) {
            const Selection &selection = m_selections[size_t(s)];
            if (Holds(selection, data, length))
                read += Read(selection, dir, client, data, length, when, values);
        }
    }
    return read;
}
