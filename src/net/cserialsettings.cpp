#include "net/cserialsettings.h"

#include "net/coptionreader.h"

#include <QRegularExpression>

namespace {

const char *const kFlowNames[] = {"none", "rtscts", "xonxoff"};

// The telegram end: one of these words.
constexpr int GAP = 0, BYTE = 1;
const COptionDecl kEndOptions[] = {
    {"gap", COptionDecl::Kind::Digits, 0, CSerialSettings::kMaxGapMs, 5},
    {"byte", COptionDecl::Kind::HexByte},
};
// The control lines: any of these words, blank-separated.
constexpr int DTR = 0, RTS = 1;
const COptionDecl kLineOptions[] = {
    {"dtr", COptionDecl::Kind::Bit},
    {"rts", COptionDecl::Kind::Bit},
};

// The options slot: RS-485 (rs485:send, RTS on while sending, or rs485:after), its delays, the break.
constexpr int RS485 = 0, BEFORE = 1, AFTER = 2, BREAK = 3;
const COptionDecl kOptions[] = {
    {"rs485", COptionDecl::Kind::Text},
    {"before", COptionDecl::Kind::Number, 0, CSerialSettings::kMaxRs485DelayMs},
    {"after", COptionDecl::Kind::Number, 0, CSerialSettings::kMaxRs485DelayMs},
    {"break", COptionDecl::Kind::Number, 1, CSerialSettings::kMaxBreakMs},
};

}  // namespace

bool CSerialSettings::Parse(const QStringList &texts, CSerialSettings *out, QString *error)
{
    CSerialSettings settings;
    const auto text = [&texts](int i) { return texts.value(i).trimmed(); };
    settings.device = texts.value(0);
    if (!text(1).isEmpty()) {
        bool ok = false;
        settings.baud = text(1).toInt(&ok);
        if (!ok) {
            *error = QStringLiteral("ﾎﾞｰﾚｰﾄ \"%1\" は数値ではありません").arg(text(1));
            return false;
        }
        if (settings.baud <= 0) {
            *error = QStringLiteral("ﾎﾞｰﾚｰﾄ \"%1\" は正の数でなければなりません").arg(text(1));
            return false;
        }
    }
    if (!text(2).isEmpty()) {
        static const QRegularExpression frame(QStringLiteral("^([5-8])([NOEMS])(1|1\\.5|2)$"),
                                              QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = frame.match(text(2));
        if (!match.hasMatch()) {
            *error = QStringLiteral("ﾌﾚｰﾑ \"%1\" はﾃﾞｰﾀﾋﾞｯﾄ 5-8、ﾊﾟﾘﾃｨ N/O/E/M/S、ｽﾄｯﾌﾟﾋﾞｯﾄ 1/1.5/2 の形 (例 8N1) ではありません").arg(text(2));
            return false;
        }
        settings.dataBits = match.captured(1).toInt();
        settings.parity = char(match.captured(2).toUpper().at(0).unicode());
        settings.stopHalves = match.captured(3) == QStringLiteral("1") ? 2 : match.captured(3) == QStringLiteral("2") ? 4 : 3;
        // A line sends 1.5 stop bits only after five data bits; with more it would send two.
        if (settings.stopHalves == 3 && settings.dataBits != 5) {
            *error = QStringLiteral("ﾌﾚｰﾑ \"%1\" のｽﾄｯﾌﾟﾋﾞｯﾄ 1.5 はﾃﾞｰﾀﾋﾞｯﾄ 5 のときだけ使えます").arg(text(2));
            return false;
        }
    }
    if (!text(3).isEmpty()) {
        int flow = -1;
        for (int i = 0; i < 3; ++i) {
            if (text(3).compare(QLatin1String(kFlowNames[i]), Qt::CaseInsensitive) == 0)
                flow = i;
        }
        if (flow < 0) {
            *error = QStringLiteral("ﾌﾛｰ制御 \"%1\" は none、rtscts、xonxoff のどれでもありません").arg(text(3));
            return false;
        }
        settings.flow = Flow(flow);
    }
    if (!text(4).isEmpty()) {
        QList<COptionReader::Value> end;
        if (!COptionReader(kEndOptions, Qt::CaseInsensitive).ReadWord(text(4), &end)) {
            *error = QStringLiteral("電文の区切り \"%1\" は gap:ﾐﾘ秒 (0-60000) でも byte:16進2桁 でもありません").arg(text(4));
            return false;
        }
        if (end[GAP].given) {
            settings.gapMs = end[GAP].number;
            settings.end = settings.gapMs > 0 ? END_GAP : END_EACH_READ;
        } else {
            settings.end = END_BYTE;
            settings.endByte = static_cast<unsigned char>(end[BYTE].number);
        }
    }
    QList<COptionReader::Value> lines;
    QString word;
    if (!COptionReader(kLineOptions, Qt::CaseInsensitive).Read(text(5), &lines, &word)) {
        *error = QStringLiteral("制御線 \"%1\" は dtr:0/1 rts:0/1 の形ではありません").arg(text(5));
        return false;
    }
    if (lines[DTR].given)
        settings.dtr = lines[DTR].number == 1;
    if (lines[RTS].given)
        settings.rts = lines[RTS].number == 1;
    QList<COptionReader::Value> options;
    const bool read = COptionReader(kOptions, Qt::CaseInsensitive).Read(text(6), &options, &word);
    const QString mode = read ? options[RS485].text.toLower() : QString();
    if (!read || (options[RS485].given && mode != QLatin1String("send") && mode != QLatin1String("after"))) {
        *error = QStringLiteral("ｼﾘｱﾙのｵﾌﾟｼｮﾝ \"%1\" は rs485:send/after before:0-%2 after:0-%2 break:1-%3 の形ではありません")
                     .arg(read ? COptionReader(kOptions).Word(RS485, options[RS485].text) : word).arg(kMaxRs485DelayMs).arg(kMaxBreakMs);
        return false;
    }
    settings.rs485.enabled = options[RS485].given;
    settings.rs485.rtsOnSend = mode != QLatin1String("after");
    settings.rs485.delayBeforeMs = options[BEFORE].number;
    settings.rs485.delayAfterMs = options[AFTER].number;
    if (options[BREAK].given)
        settings.breakMs = options[BREAK].number;
    *out = settings;
    return true;
}

QString CSerialSettings::FrameText() const
{
    const QString stop = stopHalves == 2 ? QStringLiteral("1") : stopHalves == 4 ? QStringLiteral("2") : QStringLiteral("1.5");
    return QString::number(dataBits) + QLatin1Char(parity) + stop;
}

QString CSerialSettings::LineText() const
{
    QString line = QString::number(baud) + QLatin1Char(' ') + FrameText();
    if (flow == FLOW_RTSCTS)
        line += QStringLiteral(" RTS/CTS");
    else if (flow == FLOW_XONXOFF)
        line += QStringLiteral(" XON/XOFF");
    return line;
}

QString CSerialSettings::FlowText(Flow flow)
{
    return QLatin1String(kFlowNames[flow]);
}

QString CSerialSettings::EndText(End end, const QString &value)
{
    const COptionReader reader(kEndOptions);
    return end == END_GAP ? reader.Word(GAP, value) : end == END_BYTE ? reader.Word(BYTE, value) : QString();
}

QString CSerialSettings::LinesText(bool dtr, bool rts)
{
    const COptionReader reader(kLineOptions);
    return reader.Word(DTR, QString::number(int(dtr))) + QLatin1Char(' ') + reader.Word(RTS, QString::number(int(rts)));
}

QString CSerialSettings::OptionsText(const CSerialControl::Rs485 &rs485, int breakMs)
{
    const COptionReader reader(kOptions);
    QStringList words;
    if (rs485.enabled) {
        words << reader.Word(RS485, rs485.rtsOnSend ? QStringLiteral("send") : QStringLiteral("after"))
              << reader.Word(BEFORE, QString::number(rs485.delayBeforeMs)) << reader.Word(AFTER, QString::number(rs485.delayAfterMs));
    }
    if (breakMs != kDefaultBreakMs)
        words << reader.Word(BREAK, QString::number(breakMs));
    return words.join(QLatin1Char(' '));
}

QStringList CSerialSettings::Texts() const
{
    const QString endText = end == END_GAP    ? EndText(end, QString::number(gapMs))
                            : end == END_BYTE ? EndText(end, QString::number(endByte, 16).rightJustified(2, QLatin1Char('0')).toUpper())
                                              : QString();
    const QString lines = dtr && rts ? QString() : LinesText(dtr, rts);
    return {device, QString::number(baud), FrameText(), FlowText(flow), endText, lines, OptionsText(rs485, breakMs)};
}
