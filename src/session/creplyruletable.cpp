#include "session/creplyruletable.h"

#include "document/cqndoc.h"
#include "batch/csvfile.h"
#include "platform/cp932.h"

static_assert(CReplyRuleTable::kMaxRules == CQnDoc::kReplyRuleMax);

namespace {

const char *const kKinds[] = {"一致", "前方一致", "含む", "後方一致"};
constexpr int kCsvColumns = 7;

QStringList CsvHeader()
{
    return {QStringLiteral("使用"), QStringLiteral("照合形式"), QStringLiteral("照合方法"), QStringLiteral("照合ﾃﾞｰﾀ"),
            QStringLiteral("応答形式"), QStringLiteral("応答ﾃﾞｰﾀ"), QStringLiteral("遅延(ms)")};
}

// A CSV cell cannot hold a double quote (nothing is escaped there): text writes it as \x22.
QString CsvSafe(bool text, const QString &value)
{
    return text ? QString(value).replace(QLatin1Char('"'), QStringLiteral("\\x22")) : value;
}

}  // namespace

bool CReplyRuleTable::IsActive() const
{
    if (!use)
        return false;
    for (const CReplyRule &rule : rules) {
        if (rule.enabled)
            return true;
    }
    return false;
}

int CReplyRuleTable::Load(const CQnDoc &document)
{
    int damaged = 0;
    rules.clear();
    const int sw = document.GetSlotInt(CQnDoc::SLOT_REPLY_USE);
    if (sw != 0 && sw != 1)
        ++damaged;
    use = sw == 1;
    int count = document.GetSlotInt(CQnDoc::SLOT_REPLY_COUNT);
    if (count < 0 || count > kMaxRules) {
        ++damaged;
        count = count < 0 ? 0 : kMaxRules;
    }
    for (int i = 0; i < count; ++i) {
        const int n = CQnDoc::SLOT_REPLY_RULE_INTS + CQnDoc::kReplyIntsPerRule * i;
        const int s = CQnDoc::SLOT_REPLY_RULE_TEXTS + CQnDoc::kReplyTextsPerRule * i;
        const int enabled = document.GetSlotInt(n);
        const int forms = document.GetSlotInt(n + 2);
        CReplyRule rule;
        rule.enabled = enabled == 1;
        rule.kind = document.GetSlotInt(n + 1);
        rule.matchText = forms & 1;
        rule.replyText = forms & 2;
        rule.delay = document.GetSlotInt(n + 3);
        rule.match = document.GetSlotString(s);
        rule.reply = document.GetSlotString(s + 1);
        if ((enabled != 0 && enabled != 1) || forms < 0 || forms > 3 || !rule.Check().isEmpty()) {
            ++damaged;
            continue;
        }
        rules.append(rule);
    }
    return damaged;
}

void CReplyRuleTable::Store(CQnDoc &document) const
{
    const int previous = qBound(0, document.GetSlotInt(CQnDoc::SLOT_REPLY_COUNT), kMaxRules);
    const int count = int(qMin<qsizetype>(rules.size(), kMaxRules));
    document.SetSlotInt(CQnDoc::SLOT_REPLY_USE, use ? 1 : 0);
    document.SetSlotInt(CQnDoc::SLOT_REPLY_COUNT, count);
    for (int i = 0; i < qMax(count, previous); ++i) {
        const int n = CQnDoc::SLOT_REPLY_RULE_INTS + CQnDoc::kReplyIntsPerRule * i;
        const int s = CQnDoc::SLOT_REPLY_RULE_TEXTS + CQnDoc::kReplyTextsPerRule * i;
        const CReplyRule rule = i < count ? rules[i] : CReplyRule{false, 0, false, {}, false, {}, 0};
        document.SetSlotInt(n, rule.enabled ? 1 : 0);
        document.SetSlotInt(n + 1, rule.kind);
        document.SetSlotInt(n + 2, (rule.matchText ? 1 : 0) | (rule.replyText ? 2 : 0));
        document.SetSlotInt(n + 3, rule.delay);
        document.SetSlotString(s, rule.match);
        document.SetSlotString(s + 1, rule.reply);
    }
}

QList<QByteArray> CReplyRuleTable::ToCsv() const
{
    QList<QByteArray> lines{CsvLine(CsvHeader())};
    for (const CReplyRule &rule : rules) {
        lines.append(CsvLine({rule.enabled ? QStringLiteral("1") : QStringLiteral("0"), FormText(rule.matchText),
                              KindText(rule.kind), CsvSafe(rule.matchText, rule.match), FormText(rule.replyText),
                              CsvSafe(rule.replyText, rule.reply), QString::number(rule.delay)}));
    }
    return lines;
}

bool CReplyRuleTable::FromCsv(const QList<QByteArray> &lines, QList<CReplyRule> *out, QString *error)
{
    QList<CReplyRule> read;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        QStringList cells;
        for (int c = 1; c <= kCsvColumns; ++c)
            cells.append(FromCp932(CsvField(line, c)));
        if (i == 0 && cells == CsvHeader())
            continue;
        if (line.trimmed().isEmpty())
            continue;
        const auto fail = [&](const QString &reason) {
            *error = QStringLiteral("%1 行目: %2").arg(i + 1).arg(reason);
            return false;
        };
        if (read.size() >= kMaxRules)
            return fail(QStringLiteral("応答ﾙｰﾙは %1 件までです。").arg(kMaxRules));
        CReplyRule rule;
        bool number = false;
        const int enabled = cells[0].trimmed().toInt(&number);
        const int matchForm = FormFromText(cells[1]);
        const int replyForm = FormFromText(cells[4]);
        rule.kind = KindFromText(cells[2]);
        bool delayNumber = false;
        rule.delay = cells[6].trimmed().toInt(&delayNumber);
        if (!number || (enabled != 0 && enabled != 1) || matchForm < 0 || replyForm < 0 || rule.kind < 0 ||
            !delayNumber)
            return fail(QStringLiteral("項目が正しくありません。"));
        rule.enabled = enabled == 1;
        rule.matchText = matchForm == 1;
        rule.replyText = replyForm == 1;
        rule.match = cells[3];
        rule.reply = cells[5];
        const QString reason = rule.Check();
        if (!reason.isEmpty())
            return fail(reason);
        read.append(rule);
    }
    *out = read;
    return true;
}

QString CReplyRuleTable::KindText(int kind)
{
    return kind >= 0 && kind < 4 ? QString::fromUtf8(kKinds[kind]) : QString();
}

int CReplyRuleTable::KindFromText(const QString &text)
{
    for (int k = 0; k < 4; ++k) {
        if (text.trimmed() == QString::fromUtf8(kKinds[k]))
            return k;
    }
    return -1;
}

int CReplyRuleTable::FormFromText(const QString &text)
{
    const QString t = text.trimmed();
    if (t.compare(QStringLiteral("HEX"), Qt::CaseInsensitive) == 0)
        return 0;
    if (t == QStringLiteral("ﾃｷｽﾄ"))
        return 1;
    return -1;
}
