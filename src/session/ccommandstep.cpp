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

// What a step says, compiled: shared by the steps of a file that say the same.
struct CCommandStep::Body
{
    QString form;  // as written
    QString data;  // as written
    QString checksumText;
    QString eol;   // as written
    bool vars = false;
    int value = 0;                  // dtr, rts
    QByteArray bytes;               // a plain send's bytes, checksum in place
    QByteArray lineEnd;             // after each telegram of a text send with placeholders
    CReplyTemplate sendTemplate;    // a send with placeholders
    std::shared_ptr<const CChecksumRule> checksum;
    std::shared_ptr<CReplyMatcher> matcher;  // an expect's one rule (it keeps nothing between matches)
};

namespace {

using Body = CCommandStep::Body;

// A send's body: its bytes or template, line end and checksum.
bool CompileSend(Body *made, CLineEnd::Kind lineEnd, int eolColumn, QString *why, int *column)
{
    const bool text = made->form == QLatin1String("text") || made->form == QLatin1String("text+vars");
    made->vars = made->form.endsWith(QLatin1String("+vars"));
    if (!text && made->form != QLatin1String("hex") && made->form != QLatin1String("hex+vars"))
        return Refuse(why, column, FORM, QStringLiteral("send の form は hex, text, hex+vars, text+vars のどれかです"));
    if (!made->checksumText.isEmpty()) {
        QString reason;
        made->checksum = CChecksumRule::Parse(made->checksumText, &reason);
        if (!made->checksum)
            return Refuse(why, column, CHECKSUM, reason);
    }
    if (made->vars) {
        QString reason;
        if (!CReplyTemplate::Parse(text, made->data, &made->sendTemplate, &reason))
            return Refuse(why, column, DATA, reason.replace(QStringLiteral("応答ﾃﾞｰﾀ"), QStringLiteral("data ")));
    } else if (!CReplyRule::Decode(text, made->data, &made->bytes)) {
        return Refuse(why, column, DATA, CReplyRule::DecodeError(text, true).replace(QStringLiteral("応答ﾃﾞｰﾀ"), QStringLiteral("data ")));
    }
    if (made->data.trimmed().isEmpty())
        return Refuse(why, column, DATA, QStringLiteral("送信するﾃﾞｰﾀがありません"));
    if (lineEnd != CLineEnd::None && !text)
        return Refuse(why, column, eolColumn, QStringLiteral("eol は form が text, text+vars の send に付けます"));
    // The line end is part of the text: a checksum placed before a terminator finds it.
    made->lineEnd = CLineEnd::Bytes(lineEnd);
    if (!made->vars)
        made->bytes += std::exchange(made->lineEnd, QByteArray());
    if (made->checksum && !made->vars)
        made->bytes = made->checksum->Apply(made->bytes);
    if (made->bytes.size() > QN_BUFFER_SIZE)
        return Refuse(why, column, DATA, QStringLiteral("ﾃﾞｰﾀが送信ﾊﾞｯﾌｧより長くなります"));
    return true;
}

// An expect's body: its pattern's matcher.
bool CompileExpect(Body *made, QString *why, int *column)
{
    if (made->form != QLatin1String("hex") && made->form != QLatin1String("text") && made->form != QLatin1String("regex"))
        return Refuse(why, column, FORM, QStringLiteral("expect の form は hex, text, regex のどれかです"));
    CReplyRule rule;
    rule.kind = made->form == QLatin1String("regex") ? CReplyRule::KindRegex : CReplyRule::KindContains;
    rule.matchText = made->form == QLatin1String("text");
    rule.match = made->data;
    rule.reply = QStringLiteral("00");  // what the matcher needs; never sent
    int field = 0;
    const QString reason = rule.Check(&field);
    if (!reason.isEmpty())
        return Refuse(why, column, DATA, QString(reason).replace(QStringLiteral("照合ﾃﾞｰﾀ"), QStringLiteral("data ")));
    made->matcher = std::make_shared<CReplyMatcher>();
    made->matcher->SetRules({rule});
    return true;
}

// A line control's body: the value it sets.
bool CompileLine(Body *made, const QString &action, QString *why, int *column)
{
    const QString value = made->data.trimmed();
    if (value != QLatin1String("0") && value != QLatin1String("1"))
        return Refuse(why, column, DATA, QStringLiteral("%1 の data は 0 (ｵﾌ) か 1 (ｵﾝ) です").arg(action));
    made->value = value.toInt();
    return true;
}

}  // namespace

bool CCommandStep::Compile(const QStringList &cells, CCommandStep *step, QString *why, int *column, Cache *cache,
                           int eolColumn)
{
    Cache::Said said{cells.value(ACTION).trimmed(), cells.value(FORM).trimmed(), cells.value(DATA),
                     cells.value(CHECKSUM).trimmed(), eolColumn >= 0 ? cells.value(eolColumn).trimmed() : QString()};
    const QString &action = said.action;
    CLineEnd::Kind lineEnd = CLineEnd::None;
    if (!CLineEnd::Parse(said.eol, &lineEnd))
        return Refuse(why, column, eolColumn, QStringLiteral("eol は none, cr, lf, crlf のどれかです"));
    const QString msText = cells.value(MS).trimmed();
    bool number = true;
    const int ms = msText.isEmpty() ? -1 : msText.toInt(&number);
    if (!number || ms > kMaxMs || (!msText.isEmpty() && ms < 0))
        return Refuse(why, column, MS, QStringLiteral("ms には 0 から %1 までのﾐﾘ秒を指定してください").arg(kMaxMs));

    // What the step is and its own time: checked before what it says, in the order of the row's cells.
    CCommandStep made;
    if (action == QLatin1String("send")) {
        made.action = Send;
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
    } else if (action == QLatin1String("dtr") || action == QLatin1String("rts")) {
        made.action = action == QLatin1String("dtr") ? Dtr : Rts;
    } else if (action == QLatin1String("break")) {
        made.action = Break;
        if (ms == 0 || ms > kMaxBreakMs)
            return Refuse(why, column, MS, QStringLiteral("break の ms は 1 から %1 までのﾐﾘ秒です (空: 接続の設定)").arg(kMaxBreakMs));
        made.ms = std::max(ms, 0);
    } else {
        return Refuse(why, column, ACTION, QStringLiteral("action は send, wait, expect, dtr, rts, break のどれかです"));
    }

    // What it says: compiled once for the steps of a file that say the same.
    const auto known = cache ? cache->bodies.constFind(said) : QHash<Cache::Said, std::shared_ptr<const Body>>::const_iterator();
    if (cache && known != cache->bodies.cend()) {
        made.m_pBody = *known;
    } else {
        auto body = std::make_shared<Body>();
        body->form = said.form;
        body->data = said.data;
        body->checksumText = said.checksum;
        body->eol = said.eol;
        bool compiled = true;
        if (made.action == Send)
            compiled = CompileSend(body.get(), lineEnd, eolColumn, why, column);
        else if (made.action == Expect)
            compiled = CompileExpect(body.get(), why, column);
        else if (made.action == Dtr || made.action == Rts)
            compiled = CompileLine(body.get(), action, why, column);
        if (!compiled)
            return false;
        made.m_pBody = body;
        if (cache)
            cache->bodies.insert(std::move(said), std::move(body));
    }
    made.value = made.m_pBody->value;
    *step = std::move(made);
    return true;
}

QString CCommandStep::Form() const
{
    return m_pBody ? m_pBody->form : QString();
}

QString CCommandStep::Data() const
{
    return m_pBody ? m_pBody->data : QString();
}

QString CCommandStep::ChecksumText() const
{
    return m_pBody ? m_pBody->checksumText : QString();
}

QString CCommandStep::Eol() const
{
    return m_pBody ? m_pBody->eol : QString();
}

bool CCommandStep::Telegram(const CReplyTemplate::Context &context, QList<CReplyTemplate::Part> *parts, QString *why) const
{
    parts->clear();
    if (!m_pBody)
        return true;
    const Body &body = *m_pBody;
    if (!body.vars) {
        parts->append({0, body.bytes});
        return true;
    }
    CReplyTemplate::Context filled = context;
    filled.limit = QN_BUFFER_SIZE - (body.checksum ? body.checksum->ValueBytes() : 0) - int(body.lineEnd.size());
    if (!body.sendTemplate.Fill(filled, parts, why))
        return false;
    if (!body.lineEnd.isEmpty() && !parts->isEmpty())
        parts->last().bytes += body.lineEnd;
    if (body.checksum) {
        for (CReplyTemplate::Part &part : *parts)
            part.bytes = body.checksum->Apply(part.bytes);
    }
    return true;
}

bool CCommandStep::Holds(const QByteArray &received, QList<QByteArray> *groups) const
{
    if (!m_pBody || !m_pBody->matcher || received.isEmpty())
        return false;
    return m_pBody->matcher->Match(reinterpret_cast<const unsigned char *>(received.constData()), int(received.size()),
                             nullptr, groups) != 0;
}

QString CCommandStep::Describe() const
{
    switch (action) {
    case Send: return QStringLiteral("send %1 %2").arg(Form(), Data());
    case Wait: return QStringLiteral("wait %1ms").arg(ms);
    case Dtr: return QStringLiteral("dtr %1").arg(value);
    case Rts: return QStringLiteral("rts %1").arg(value);
    case Break: return ms > 0 ? QStringLiteral("break %1ms").arg(ms) : QStringLiteral("break");
    case Expect: break;
    }
    return QStringLiteral("expect %1 %2 (%3ms)").arg(Form(), Data()).arg(ms);
}
