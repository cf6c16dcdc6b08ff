#include "session/ccommandstep.h"

#include "display/clineend.h"
#include "platform/cchecksumrule.h"
#include "platform/qnwin.h"
#include "session/creplyrule.h"

#include <algorithm>
#include <utility>

namespace {

enum Cell { NAME, KEY, ACTION, FORM, DATA, CHECKSUM, MS, NOTE };

bool Refuse(QString *why, int *column, int cell, const QString &reason)
{
    *why = reason;
    *column = cell;
    return false;
}

}  // namespace

bool CCommandStep::Compile(const QStringList &cells, CCommandStep *step, QString *why, int *column, Cache *cache,
                           int eolColumn)
{
    CCommandStep made;
    const QString action = cells.value(ACTION).trimmed();
    made.eol = eolColumn >= 0 ? cells.value(eolColumn).trimmed() : QString();
    CLineEnd::Kind lineEnd = CLineEnd::None;
    if (!CLineEnd::Parse(made.eol, &lineEnd))
        return Refuse(why, column, eolColumn, QStringLiteral("eol は none, cr, lf, crlf のどれかです"));
    made.form = cells.value(FORM).trimmed();
    made.data = cells.value(DATA);
    made.checksumText = cells.value(CHECKSUM).trimmed();
    made.note = cells.value(NOTE);
    const QString msText = cells.value(MS).trimmed();
    bool number = true;
    const int ms = msText.isEmpty() ? -1 : msText.toInt(&number);
    if (!number || ms > kMaxMs || (!msText.isEmpty() && ms < 0))
        return Refuse(why, column, MS, QStringLiteral("ms には 0 から %1 までのﾐﾘ秒を指定してください").arg(kMaxMs));

    if (action == QLatin1String("send")) {
        made.action = Send;
        const bool text = made.form == QLatin1String("text") || made.form == QLatin1String("text+vars");
        made.m_bVars = made.form.endsWith(QLatin1String("+vars"));
        if (!text && made.form != QLatin1String("hex") && made.form != QLatin1String("hex+vars"))
            return Refuse(why, column, FORM, QStringLiteral("send の form は hex, text, hex+vars, text+vars のどれかです"));
        if (!made.checksumText.isEmpty()) {
            QString reason;
            made.m_pChecksum = CChecksumRule::Parse(made.checksumText, &reason);
            if (!made.m_pChecksum)
                return Refuse(why, column, CHECKSUM, reason);
        }
        if (made.m_bVars) {
            const QString key = made.form + QChar(u'\n') + made.data;
            const auto known = cache ? cache->templates.constFind(key) : QHash<QString, CReplyTemplate>::const_iterator();
            QString reason;
            if (cache && known != cache->templates.cend())
                made.m_template = *known;
            else if (!CReplyTemplate::Parse(text, made.data, &made.m_template, &reason))
                return Refuse(why, column, DATA, reason.replace(QStringLiteral("応答ﾃﾞｰﾀ"), QStringLiteral("data ")));
            else if (cache)
                cache->templates.insert(key, made.m_template);
        } else if (!CReplyRule::Decode(text, made.data, &made.m_bytes)) {
            return Refuse(why, column, DATA, CReplyRule::DecodeError(text, true).replace(QStringLiteral("応答ﾃﾞｰﾀ"), QStringLiteral("data ")));
        }
        if (made.data.trimmed().isEmpty())
            return Refuse(why, column, DATA, QStringLiteral("送信するﾃﾞｰﾀがありません"));
        if (lineEnd != CLineEnd::None && !text)
            return Refuse(why, column, eolColumn, QStringLiteral("eol は form が text, text+vars の send に付けます"));
        // The line end is part of the text: a checksum placed before a terminator finds it.
        made.m_lineEnd = CLineEnd::Bytes(lineEnd);
        if (!made.m_bVars)
            made.m_bytes += std::exchange(made.m_lineEnd, QByteArray());
        if (made.m_pChecksum && !made.m_bVars)
            made.m_bytes = made.m_pChecksum->Apply(made.m_bytes);
        if (made.m_bytes.size() > QN_BUFFER_SIZE)
            return Refuse(why, column, DATA, QStringLiteral("ﾃﾞｰﾀが送信ﾊﾞｯﾌｧより長くなります"));
        made.ms = 0;
    } else if (lineEnd != CLineEnd::None) {
        return Refuse(why, column, eolColumn, QStringLiteral("eol は send の行に付けます"));
    } else if (action == QLatin1String("wait")) {
        made.action = Wait;
        if (ms < 0)
            return Refuse(why, column, MS, QStringLiteral("wait には ms (ﾐﾘ秒) を指定してください"));
        made.ms = ms;
    } else if (action == QLatin1String("expect")) {
        made.action = Expect;
        made.ms = ms < 0 ? kDefaultExpectMs : ms;
        if (made.ms == 0)
            return Refuse(why, column, MS, QStringLiteral("expect の ms (待つ時間) は 1 以上です"));
        if (made.form != QLatin1String("hex") && made.form != QLatin1String("text") && made.form != QLatin1String("regex"))
            return Refuse(why, column, FORM, QStringLiteral("expect の form は hex, text, regex のどれかです"));
        const QString key = made.form + QChar(u'\n') + made.data;
        if (cache && cache->matchers.contains(key)) {
            made.m_pMatcher = cache->matchers.value(key);
            *step = std::move(made);
            return true;
        }
        CReplyRule rule;
        rule.kind = made.form == QLatin1String("regex") ? CReplyRule::KindRegex : CReplyRule::KindContains;
        rule.matchText = made.form == QLatin1String("text");
        rule.match = made.data;
        rule.reply = QStringLiteral("00");  // what the matcher needs; never sent
        int field = 0;
        const QString reason = rule.Check(&field);
        if (!reason.isEmpty())
            return Refuse(why, column, DATA, QString(reason).replace(QStringLiteral("照合ﾃﾞｰﾀ"), QStringLiteral("data ")));
        made.m_pMatcher = std::make_shared<CReplyMatcher>();
        made.m_pMatcher->SetRules({rule});
        if (cache)
            cache->matchers.insert(key, made.m_pMatcher);
    } else if (action == QLatin1String("dtr") || action == QLatin1String("rts")) {
        made.action = action == QLatin1String("dtr") ? Dtr : Rts;
        const QString value = made.data.trimmed();
        if (value != QLatin1String("0") && value != QLatin1String("1"))
            return Refuse(why, column, DATA, QStringLiteral("%1 の data は 0 (ｵﾌ) か 1 (ｵﾝ) です").arg(action));
        made.value = value.toInt();
        made.ms = 0;
    } else if (action == QLatin1String("break")) {
        made.action = Break;
        if (ms == 0 || ms > kMaxBreakMs)
            return Refuse(why, column, MS, QStringLiteral("break の ms は 1 から %1 までのﾐﾘ秒です (空: 接続の設定)").arg(kMaxBreakMs));
        made.ms = std::max(ms, 0);
    } else {
        return Refuse(why, column, ACTION, QStringLiteral("action は send, wait, expect, dtr, rts, break のどれかです"));
    }
    *step = std::move(made);
    return true;
}

bool CCommandStep::Telegram(const CReplyTemplate::Context &context, QList<CReplyTemplate::Part> *parts, QString *why) const
{
    parts->clear();
    if (!m_bVars) {
        parts->append({0, m_bytes});
        return true;
    }
    CReplyTemplate::Context filled = context;
    filled.limit = QN_BUFFER_SIZE - (m_pChecksum ? m_pChecksum->ValueBytes() : 0) - int(m_lineEnd.size());
    if (!m_template.Fill(filled, parts, why))
        return false;
    if (!m_lineEnd.isEmpty() && !parts->isEmpty())
        parts->last().bytes += m_lineEnd;
    if (m_pChecksum) {
        for (CReplyTemplate::Part &part : *parts)
            part.bytes = m_pChecksum->Apply(part.bytes);
    }
    return true;
}

bool CCommandStep::Holds(const QByteArray &received, QList<QByteArray> *groups) const
{
    if (!m_pMatcher || received.isEmpty())
        return false;
    return m_pMatcher->Match(reinterpret_cast<const unsigned char *>(received.constData()), int(received.size()),
                             nullptr, groups) != 0;
}

QString CCommandStep::Describe() const
{
    switch (action) {
    case Send: return QStringLiteral("send %1 %2").arg(form, data);
    case Wait: return QStringLiteral("wait %1ms").arg(ms);
    case Dtr: return QStringLiteral("dtr %1").arg(value);
    case Rts: return QStringLiteral("rts %1").arg(value);
    case Break: return ms > 0 ? QStringLiteral("break %1ms").arg(ms) : QStringLiteral("break");
    case Expect: break;
    }
    return QStringLiteral("expect %1 %2 (%3ms)").arg(form, data).arg(ms);
}
