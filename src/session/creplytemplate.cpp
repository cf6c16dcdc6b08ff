#include "session/creplytemplate.h"

#include "platform/escapedtext.h"
#include "session/creplyrule.h"

#include <QTime>

namespace {

const char *const kPlaceholders = "($0～$9, ${seq}, ${len}, ${time}, ${wait:ﾐﾘ秒}, $$)";

}  // namespace

bool CReplyTemplate::ParseForm(const QString &name, int *form)
{
    static const char *const kForms[] = {"", "u8", "u16be", "u16le", "u32be", "u32le"};
    for (int i = 0; i < int(std::size(kForms)); ++i) {
        if (name == QLatin1String(kForms[i])) {
            *form = i;
            return true;
        }
    }
    return false;
}

bool CReplyTemplate::Parse(bool textForm, const QString &text, CReplyTemplate *out, QString *error)
{
    CReplyTemplate parsed;
    qint64 totalWait = 0;
    QString pending;  // source text of the literal being read
    const auto flush = [&] {
        if (pending.isEmpty())
            return true;
        QByteArray bytes;
        const bool ok = CReplyRule::Decode(textForm, pending, &bytes);
        pending.clear();
        if (!ok) {
            *error = CReplyRule::DecodeError(textForm, true);
            return false;
        }
        if (!parsed.m_items.isEmpty() && parsed.m_items.back().what == Literal)
            parsed.m_items.back().bytes += bytes;
        else
            parsed.m_items.append(Item{Literal, 0, bytes});
        return true;
    };
    const auto add = [&](What what, int value) {
        parsed.m_items.append(Item{what, value, QByteArray()});
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('$')) {
            pending += text[i];
            continue;
        }
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        if (next == QLatin1Char('$')) {
            pending += textForm ? QStringLiteral("$") : QStringLiteral("24");
            ++i;
            continue;
        }
        if (!flush())
            return false;
        if (next.isDigit() && next.unicode() < 0x80) {
            const int n = next.digitValue();
            add(n == 0 ? Whole : Group, n);
            ++i;
            continue;
        }
        const qsizetype close = next == QLatin1Char('{') ? text.indexOf(QLatin1Char('}'), i + 2) : -1;
        const QString inside = close > 0 ? text.mid(i + 2, close - i - 2) : QString();
        const QString name = inside.section(QLatin1Char(':'), 0, 0);
        const QString argument = inside.section(QLatin1Char(':'), 1);
        int form = 0;
        bool number = false;
        const int ms = argument.toInt(&number);
        if ((name == QLatin1String("seq") || name == QLatin1String("len")) && ParseForm(argument, &form))
            add(name == QLatin1String("seq") ? Seq : Length, form);
        else if (name == QLatin1String("time") && argument.isEmpty() && !inside.contains(QLatin1Char(':')))
            add(Time, 0);
        else if (name == QLatin1String("wait") && number && ms >= 0 && ms <= kMaxWait) {
            totalWait += ms;
            if (totalWait > kMaxTotalWait) {
                *error = QStringLiteral("応答ﾃﾞｰﾀの ${wait} の合計が 24 時間を超えます。");
                return false;
            }
            add(Wait, ms);
        } else {
            *error = QStringLiteral("応答ﾃﾞｰﾀの %1 が分かりません %2。")
                         .arg(close > 0 ? text.mid(i, close - i + 1) : text.mid(i, 2), QString::fromUtf8(kPlaceholders));
            return false;
        }
        i = close;
    }
    if (!flush())
        return false;
    *out = std::move(parsed);
    return true;
}

bool CReplyTemplate::IsPlain() const
{
    return m_items.size() <= 1 && (m_items.isEmpty() || m_items.front().what == Literal);
}

void CReplyTemplate::AppendNumber(QByteArray *out, int form, quint32 value)
{
    if (form == Decimal) {
        out->append(QByteArray::number(value));
        return;
    }
    const int size = form == U8 ? 1 : form == U16Be || form == U16Le ? 2 : 4;
    const bool big = form == U16Be || form == U32Be;
    for (int i = 0; i < size; ++i)
        out->append(char(value >> (8 * (big ? size - 1 - i : i)) & 0xFF));
}

bool CReplyTemplate::Fill(const Context &context, QList<Part> *parts, QString *why) const
{
    parts->clear();
    Part part;
    for (const Item &item : m_items) {
        switch (item.what) {
        case Literal: part.bytes += item.bytes; break;
        case Whole: part.bytes += context.block; break;
        case Group:
            if (item.value > context.groups.size() || context.groups[item.value - 1].isNull()) {
                *why = QStringLiteral("$%1 に当たる部分がありません").arg(item.value);
                return false;
            }
            part.bytes += context.groups[item.value - 1];
            break;
        case Seq: AppendNumber(&part.bytes, item.value, context.seq); break;
        case Length: AppendNumber(&part.bytes, item.value, quint32(context.block.size())); break;
        case Time: part.bytes += QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toLatin1(); break;
        case Wait:
            // A part without bytes sends nothing: its wait is added to the next one's.
            if (!part.bytes.isEmpty()) {
                parts->append(part);
                part = Part();
            }
            part.waitMs += item.value;
            break;
        }
        if (context.limit > 0 && part.bytes.size() > context.limit) {
            *why = QStringLiteral("応答が送信ﾊﾞｯﾌｧ (%1 ﾊﾞｲﾄ) より長くなります").arg(context.limit);
            return false;
        }
    }
    if (!part.bytes.isEmpty())
        parts->append(part);
    return true;
}
