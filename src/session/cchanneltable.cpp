#include "session/cchanneltable.h"

#include "batch/csvfile.h"
#include "document/cqndoc.h"
#include "platform/cp932.h"
#include "session/creplyruletable.h"

namespace {

const char *const kHeader[CChannelTable::kColumns] = {
    "名前", "単位", "方向", "ｸﾗｲｱﾝﾄ", "照合方法", "照合形式", "照合ﾃﾞｰﾀ", "取り出し", "正規表現",
    "ｸﾞﾙｰﾌﾟ", "基数", "位置", "型", "ﾊﾞｲﾄ順", "倍率", "ｵﾌｾｯﾄ", "下限", "上限"};
const char *const kDirections[] = {"", "受信", "送信", "両方"};
const char *const kSources[] = {"正規表現", "ﾊﾞｲﾅﾘ"};

bool ReadInt(const QString &text, int *value)
{
    bool ok = false;
    *value = text.trimmed().toInt(&ok);
    return ok;
}

// Empty reads as `empty` (NaN for a limit).
bool ReadDouble(const QString &text, double empty, double *value)
{
    if (text.trimmed().isEmpty()) {
        *value = empty;
        return true;
    }
    bool ok = false;
    *value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(*value);
}

}  // namespace

QStringList CChannelTable::Header()
{
    QStringList header;
    for (const char *text : kHeader)
        header << QString::fromUtf8(text);
    return header;
}

QString CChannelTable::DirectionText(int direction)
{
    return direction >= CChannel::Received && direction <= CChannel::Both ? QString::fromUtf8(kDirections[direction])
                                                                          : QString();
}

QString CChannelTable::NumberText(double value)
{
    if (std::isnan(value))
        return QString();
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(qint64(value));
    QString text = QString::number(value, 'f', 9);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    // A value too small for nine places keeps its significant digits.
    return text == QStringLiteral("0") || text == QStringLiteral("-0") ? QString::number(value, 'g', 12) : text;
}

QStringList CChannelTable::Cells(const CChannel &c)
{
    const bool pattern = c.source == CChannel::SourcePattern;
    const bool matched = c.matchKind != CChannel::kNoMatch;
    return {c.name,
            c.unit,
            DirectionText(c.direction),
            QString::number(c.client),
            matched ? CReplyRuleTable::KindText(c.matchKind) : QString(),
            matched ? CReplyRuleTable::FormText(c.matchText) : QString(),
            matched ? c.match : QString(),
            QString::fromUtf8(kSources[pattern ? 0 : 1]),
            pattern ? c.pattern : QString(),
            pattern ? QString::number(c.group) : QString(),
            pattern ? QString::number(c.base) : QString(),
            pattern ? QString() : QString::number(c.offset),
            pattern ? QString() : CChannel::TypeText(c.type),
            pattern ? QString() : (c.bigEndian ? QStringLiteral("BE") : QStringLiteral("LE")),
            NumberText(c.scale),
            NumberText(c.add),
            NumberText(c.low),
            NumberText(c.high)};
}

bool CChannelTable::FromCells(const QStringList &given, CChannel *out, int *column, QString *error)
{
    QStringList cells = given;
    while (cells.size() < kColumns)
        cells << QString();
    const auto fail = [&](int c, const QString &reason) {
        *column = c;
        *error = reason;
        return false;
    };
    const QString bad = QStringLiteral("項目が正しくありません。");
    CChannel c;
    c.name = cells[0].trimmed();
    c.unit = cells[1].trimmed();
    c.direction = 0;
    for (int d = CChannel::Received; d <= CChannel::Both; ++d) {
        if (cells[2].trimmed() == QString::fromUtf8(kDirections[d]))
            c.direction = d;
    }
    if (cells[2].trimmed().isEmpty())
        c.direction = CChannel::Received;
    if (c.direction == 0)
        return fail(3, bad);
    if (!cells[3].trimmed().isEmpty() && (!ReadInt(cells[3], &c.client) || c.client < 0))
        return fail(4, bad);
    if (cells[4].trimmed().isEmpty()) {
        c.matchKind = CChannel::kNoMatch;
    } else {
        c.matchKind = CReplyRuleTable::KindFromText(cells[4]);
        if (c.matchKind < 0 || c.matchKind == CReplyRule::KindPeriodic)
            return fail(5, bad);
        const int form = cells[5].trimmed().isEmpty() ? 0 : CReplyRuleTable::FormFromText(cells[5]);
        if (form < 0 || form > 1)
            return fail(6, bad);
        c.matchText = form == 1;
        c.match = cells[6];
    }
    if (cells[7].trimmed() == QString::fromUtf8(kSources[0]))
        c.source = CChannel::SourcePattern;
    else if (cells[7].trimmed() == QString::fromUtf8(kSources[1]))
        c.source = CChannel::SourceBinary;
    else
        return fail(8, bad);
    if (c.source == CChannel::SourcePattern) {
        c.pattern = cells[8];
        if (!cells[9].trimmed().isEmpty() && !ReadInt(cells[9], &c.group))
            return fail(10, bad);
        if (!cells[10].trimmed().isEmpty() && !ReadInt(cells[10], &c.base))
            return fail(11, bad);
    } else {
        if (!ReadInt(cells[11], &c.offset))
            return fail(12, bad);
        c.type = CChannel::TypeFromText(cells[12]);
        const QString order = cells[13].trimmed().toUpper();
        if (order != QStringLiteral("LE") && order != QStringLiteral("BE") && !order.isEmpty())
            return fail(14, bad);
        c.bigEndian = order == QStringLiteral("BE");
    }
    if (!ReadDouble(cells[14], 1.0, &c.scale))
        return fail(15, bad);
    if (!ReadDouble(cells[15], 0.0, &c.add))
        return fail(16, bad);
    const double none = std::numeric_limits<double>::quiet_NaN();
    if (!ReadDouble(cells[16], none, &c.low))
        return fail(17, bad);
    if (!ReadDouble(cells[17], none, &c.high))
        return fail(18, bad);
    int failing = 0;
    const QString reason = c.Check(&failing);
    if (!reason.isEmpty())
        return fail(failing, reason);
    *out = c;
    return true;
}

QList<QByteArray> CChannelTable::ToCsv() const
{
    QList<QByteArray> lines{CsvLine(Header())};
    for (const CChannel &channel : channels)
        lines << CsvLine(Cells(channel));
    return lines;
}

bool CChannelTable::FromCsv(const QList<QByteArray> &lines, QList<CChannel> *out, QString *error)
{
    QList<CChannel> read;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.trimmed().isEmpty())
            continue;
        QStringList cells;
        for (int c = 1; c <= kColumns; ++c)
            cells << FromCp932(CsvField(line, c));
        if (i == 0 && cells == Header())
            continue;
        if (read.size() >= kMaxChannels) {
            *error = QStringLiteral("%1 行目: ﾁｬﾝﾈﾙは %2 個までです。").arg(i + 1).arg(kMaxChannels);
            return false;
        }
        CChannel channel;
        int column = 0;
        QString reason;
        if (!FromCells(cells, &channel, &column, &reason)) {
            *error = QStringLiteral("%1 行目 %2 列目 (%3): %4").arg(i + 1).arg(column).arg(Header().value(column - 1), reason);
            return false;
        }
        read << channel;
    }
    *out = read;
    return true;
}

bool CChannelTable::Load(const CQnDoc &document, QString *error)
{
    channels.clear();
    checksum = document.GetSlotString(CQnDoc::SLOT_CHANNEL_CHECKSUM).trimmed();
    const QByteArray stored = document.GetSlotBytes(CQnDoc::SLOT_CHANNELS);
    if (stored.isEmpty())
        return true;
    QList<QByteArray> lines = stored.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    QString reason;
    if (FromCsv(lines, &channels, &reason))
        return true;
    if (error)
        *error = reason;
    return false;
}

void CChannelTable::Store(CQnDoc &document) const
{
    QByteArray bytes;
    if (!channels.isEmpty()) {
        for (const QByteArray &line : ToCsv())
            bytes += line;
    }
    document.SetSlotBytes(CQnDoc::SLOT_CHANNELS, bytes);
    document.SetSlotString(CQnDoc::SLOT_CHANNEL_CHECKSUM, checksum);
}
