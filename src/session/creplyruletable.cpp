#include "session/creplyruletable.h"

#include "document/cqndoc.h"
#include "batch/csvfile.h"
#include "platform/cp932.h"

#include <algorithm>

static_assert(CReplyRuleTable::kMaxRules == CQnDoc::kReplyRuleMax);

namespace {

const char *const kKinds[] = {"一致", "前方一致", "含む", "後方一致", "正規表現", "定期送信"};
static_assert(std::size(kKinds) == CReplyRule::kKindCount, "a text for every kind");
constexpr int kFlagWithoutChecksum = 1;  // in a rule's flags slot
// The columns of a file whose rules have neither checksum nor state; 9 with the checksum's two
// where some rule has one, 11 with the states' two after them where some rule has one.
constexpr int kCsvColumns = 7;
constexpr int kCsvStateColumns = 11;

QStringList CsvHeader(bool checksums, bool states = false)
{
    QStringList header{QStringLiteral("使用"),     QStringLiteral("照合形式"), QStringLiteral("照合方法"),
                       QStringLiteral("照合ﾃﾞｰﾀ"), QStringLiteral("応答形式"), QStringLiteral("応答ﾃﾞｰﾀ"),
                       QStringLiteral("遅延(ms)")};
    if (checksums || states)
        header << QStringLiteral("ﾁｪｯｸｻﾑ") << QStringLiteral("ﾁｪｯｸｻﾑ除外照合");
    if (states)
        header << QStringLiteral("状態") << QStringLiteral("次の状態");
    return header;
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
        const int flags = document.GetSlotInt(CQnDoc::SLOT_REPLY_RULE_FLAGS + i);
        CReplyRule rule;
        rule.enabled = enabled == 1;
        rule.kind = document.GetSlotInt(n + 1);
        rule.matchText = forms & 1;
        rule.replyText = forms & 2;
        rule.replyPlaceholders = forms & 4;
        rule.delay = document.GetSlotInt(n + 3);
        rule.match = document.GetSlotString(s);
        rule.reply = document.GetSlotString(s + 1);
        rule.checksum = document.GetSlotString(CQnDoc::SLOT_REPLY_RULE_CHECKSUMS + i);
        rule.matchWithoutChecksum = flags & kFlagWithoutChecksum;
        rule.state = document.GetSlotString(CQnDoc::SLOT_REPLY_RULE_STATES + i);
        rule.nextState = document.GetSlotString(CQnDoc::SLOT_REPLY_RULE_NEXT_STATES + i);
        if ((enabled != 0 && enabled != 1) || forms < 0 || forms > 7 || flags < 0 || flags > kFlagWithoutChecksum ||
            !rule.Check().isEmpty()) {
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
        CReplyRule rule;
        if (i < count)
            rule = rules[i];
        else
            rule.enabled = false;  // a rule no longer there: every slot back to empty and 0
        document.SetSlotInt(n, rule.enabled ? 1 : 0);
        document.SetSlotInt(n + 1, rule.kind);
        document.SetSlotInt(n + 2, (rule.matchText ? 1 : 0) | (rule.replyText ? 2 : 0) | (rule.replyPlaceholders ? 4 : 0));
        document.SetSlotInt(n + 3, rule.delay);
        document.SetSlotString(s, rule.match);
        document.SetSlotString(s + 1, rule.reply);
        document.SetSlotString(CQnDoc::SLOT_REPLY_RULE_CHECKSUMS + i, rule.checksum);
        document.SetSlotInt(CQnDoc::SLOT_REPLY_RULE_FLAGS + i, rule.matchWithoutChecksum ? kFlagWithoutChecksum : 0);
        document.SetSlotString(CQnDoc::SLOT_REPLY_RULE_STATES + i, rule.state);
        document.SetSlotString(CQnDoc::SLOT_REPLY_RULE_NEXT_STATES + i, rule.nextState);
    }
}

QList<QByteArray> CReplyRuleTable::ToCsv() const
{
    // Without checksums the file is as it was before rules had them.
    const bool checksums = std::any_of(rules.begin(), rules.end(), [](const CReplyRule &rule) {
        return rule.HasChecksum() || rule.matchWithoutChecksum;
    });
    const bool states = std::any_of(rules.begin(), rules.end(), [](const CReplyRule &rule) {
        return !rule.state.isEmpty() || !rule.nextState.isEmpty();
    });
    const auto bit = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    QList<QByteArray> lines{CsvLine(CsvHeader(checksums, states))};
    for (const CReplyRule &rule : rules) {
        // A pattern reads \x22 as the double quote, as text does.
        const bool quoted = rule.matchText || rule.kind == CReplyRule::KindRegex;
        QStringList cells{bit(rule.enabled),
                          FormText(rule.matchText),
                          KindText(rule.kind),
                          CsvSafe(quoted, rule.match),
                          FormText(rule.replyText, rule.replyPlaceholders),
                          CsvSafe(rule.replyText, rule.reply),
                          QString::number(rule.delay)};
        if (checksums || states)
            cells << rule.checksum << bit(rule.matchWithoutChecksum);
        if (states)
            cells << rule.state << rule.nextState;  // never a double quote: Check refuses it
        lines.append(CsvLine(cells));
    }
    return lines;
}

bool CReplyRuleTable::FromCsv(const QList<QByteArray> &lines, QList<CReplyRule> *out, QString *error)
{
    QList<CReplyRule> read;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        QStringList cells;
        for (int c = 1; c <= kCsvStateColumns; ++c)
            cells.append(FromCp932(CsvField(line, c)));
        if (i == 0 && cells.mid(0, kCsvColumns) == CsvHeader(false))  // either header
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
        // The flag of the checksum columns: 0 or 1, or empty in a line without them.
        const QString flag = cells[8].trimmed();
        if (!number || (enabled != 0 && enabled != 1) || matchForm < 0 || matchForm > 1 || replyForm < 0 || rule.kind < 0 ||
            !delayNumber || (!flag.isEmpty() && flag != QStringLiteral("0") && flag != QStringLiteral("1")))
            return fail(QStringLiteral("項目が正しくありません。"));
        rule.enabled = enabled == 1;
        rule.matchText = matchForm == 1;
        rule.replyText = replyForm & 1;
        rule.replyPlaceholders = replyForm & 2;
        rule.match = cells[3];
        rule.reply = cells[5];
        rule.checksum = cells[7].trimmed();
        rule.matchWithoutChecksum = flag == QStringLiteral("1");
        rule.state = cells[9].trimmed();
        rule.nextState = cells[10].trimmed();
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
    return kind >= 0 && kind < int(std::size(kKinds)) ? QString::fromUtf8(kKinds[kind]) : QString();
}

int CReplyRuleTable::KindFromText(const QString &text)
{
    for (int k = 0; k < int(std::size(kKinds)); ++k) {
        if (text.trimmed() == QString::fromUtf8(kKinds[k]))
            return k;
    }
    return -1;
}

QString CReplyRuleTable::FormText(bool text, bool placeholders)
{
    const QString form = text ? QStringLiteral("ﾃｷｽﾄ") : QStringLiteral("HEX");
    return placeholders ? form + QStringLiteral("+変数") : form;
}

int CReplyRuleTable::FormFromText(const QString &text)
{
    QString t = text.trimmed();
    int placeholders = 0;
    if (t.endsWith(QStringLiteral("+変数"))) {
        t.chop(3);
        placeholders = 2;
    }
    if (t.compare(QStringLiteral("HEX"), Qt::CaseInsensitive) == 0)
        return placeholders;
    if (t == QStringLiteral("ﾃｷｽﾄ"))
        return 1 | placeholders;
    return -1;
}
