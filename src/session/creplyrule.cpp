#include "session/creplyrule.h"

#include "platform/cchecksumrule.h"
#include "platform/chexconv.h"
#include "platform/cp932.h"
#include "session/creplytemplate.h"
#include "platform/escapedtext.h"
#include "platform/qnwin.h"

bool CReplyRule::DecodeHex(const QString &text, QByteArray *out)
{
    return DecodeHexPattern(text, out, nullptr);
}

bool CReplyRule::DecodeHexPattern(const QString &text, QByteArray *out, QByteArray *mask)
{
    return CHexConv::DecodeSeparated(text, out, mask) < 0;
}

bool CReplyRule::DecodeMatch(QByteArray *bytes, QByteArray *mask) const
{
    mask->clear();
    return matchText ? DecodeText(match, bytes) : DecodeHexPattern(match, bytes, mask);
}

bool CReplyRule::DecodeText(const QString &text, QByteArray *out)
{
    return DecodeEscapedText(text, out, TextEscapes::WithTab);
}

bool CReplyRule::Decode(bool text, const QString &value, QByteArray *out)
{
    return text ? DecodeText(value, out) : DecodeHex(value, out);
}

QString CReplyRule::DecodeError(bool text, bool reply)
{
    const QString field = reply ? QStringLiteral("応答ﾃﾞｰﾀ") : QStringLiteral("照合ﾃﾞｰﾀ");
    return text ? field + QStringLiteral("の \\ の使い方が正しくありません (\\r \\n \\t \\\\ \\xHH が使えます)。")
                : field + QStringLiteral("が正しい16進数ではありません (2桁ずつ 0-9 A-F)。");
}

QString CReplyRule::BytePattern(const QString &pattern, QList<qsizetype> *typedAt)
{
    // Characters beyond ASCII become the escapes of their code page 932 bytes: a second byte such as
    // 0x5C (\) must not act on the pattern.
    QString out;
    out.reserve(pattern.size());
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const qsizetype begin = out.size();
        const qsizetype units = pattern[i].isHighSurrogate() && i + 1 < pattern.size() ? 2 : 1;
        if (pattern[i].unicode() < 0x80) {
            out += pattern[i];
        } else {
            for (const char byte : ToCp932(QStringView(pattern).mid(i, units)))
                out += QStringLiteral("\\x{%1}").arg(quint8(byte), 2, 16, QLatin1Char('0'));
        }
        if (typedAt)
            typedAt->insert(typedAt->size(), out.size() - begin, i);
        i += units - 1;
    }
    if (typedAt)
        typedAt->append(pattern.size());
    return out;
}

namespace {

// The expression last made of a pattern, on this thread. A rule is checked and then compiled, and
// checked more than once on its way (its editor, the matcher): each is one compile of the pattern,
// which costs as much as a thousand matches, and all of them share this one.
struct LastExpression
{
    bool made = false;
    QString pattern;
    QList<qsizetype> typedAt;  // where each character of the expression was typed
    QRegularExpression expression;
};

const LastExpression &ExpressionOf(const QString &pattern)
{
    thread_local LastExpression last;
    if (!last.made || last.pattern != pattern) {
        last.made = true;
        last.pattern = pattern;
        last.typedAt.clear();
        last.expression = QRegularExpression(CReplyRule::BytePattern(pattern, &last.typedAt),
                                             QRegularExpression::DotMatchesEverythingOption);
    }
    return last;
}

}  // namespace

QRegularExpression CReplyRule::CompilePattern(const QString &pattern)
{
    QRegularExpression expression = ExpressionOf(pattern).expression;
    expression.optimize();
    return expression;
}

QString CReplyRule::PatternError(const QString &pattern)
{
    if (pattern.isEmpty())
        return QStringLiteral("照合ﾃﾞｰﾀが空です。");
    const LastExpression &made = ExpressionOf(pattern);
    const QRegularExpression &expression = made.expression;
    const QList<qsizetype> &typedAt = made.typedAt;
    if (expression.isValid())
        return QString();
    const qsizetype at = typedAt.value(qBound<qsizetype>(0, expression.patternErrorOffset(), typedAt.size() - 1));
    return QStringLiteral("正規表現が正しくありません (%1 文字目): %2")
        .arg(at + 1)
        .arg(expression.errorString());
}

QString CReplyRule::Check(int *field) const
{
    const auto failWith = [field](int which, const QString &reason) {
        if (field)
            *field = which;
        return reason;
    };
    const auto fail = [&failWith](int which, const char *reason) { return failWith(which, QString::fromUtf8(reason)); };
    QByteArray bytes;
    QByteArray mask;
    if (kind < KindEquals || kind >= kKindCount)
        return fail(1, "照合方法が正しくありません。");
    if (kind == KindPeriodic) {
        // Nothing to match: the delay is the period.
        if (delay < kMinPeriod || delay > kMaxDelay)
            return fail(3, "定期送信の周期 (遅延の列) は 10 から 60000 ﾐﾘ秒の範囲で指定してください。");
    } else if (kind == KindRegex) {
        const QString error = PatternError(match);
        if (!error.isEmpty())
            return failWith(1, error);
    } else if (!DecodeMatch(&bytes, &mask)) {
        return failWith(1, DecodeError(matchText, false));
    } else if (bytes.isEmpty()) {
        return fail(1, "照合ﾃﾞｰﾀが空です。");
    } else if (bytes.size() > QN_BUFFER_SIZE) {
        return fail(1, "照合ﾃﾞｰﾀが長すぎます。");
    }
    if (replyPlaceholders) {
        // Filled in for each answer: its length is checked then.
        CReplyTemplate parsed;
        QString error;
        if (!CReplyTemplate::Parse(replyText, reply, &parsed, &error))
            return failWith(2, error);
        if (reply.trimmed().isEmpty())
            return fail(2, "応答ﾃﾞｰﾀが空です。");
        bytes.clear();
    } else if (!Decode(replyText, reply, &bytes))
        return failWith(2, DecodeError(replyText, true));
    else if (bytes.isEmpty())
        return fail(2, "応答ﾃﾞｰﾀが空です。");
    qsizetype checksumBytes = 0;
    if (HasChecksum()) {
        QString error;
        const std::unique_ptr<CChecksumRule> rule = CChecksumRule::Parse(checksum, &error);
        if (!rule)
            return failWith(4, error);
        checksumBytes = rule->ValueBytes();
    }
    if (bytes.size() + checksumBytes > QN_BUFFER_SIZE)
        return fail(2, checksumBytes ? "応答ﾃﾞｰﾀがﾁｪｯｸｻﾑを含めて送信ﾊﾞｯﾌｧ (2048000 ﾊﾞｲﾄ) より長くなっています。"
                                     : "応答ﾃﾞｰﾀが送信ﾊﾞｯﾌｧ (2048000 ﾊﾞｲﾄ) より長くなっています。");
    if (delay < 0 || delay > kMaxDelay)
        return fail(3, "遅延は 0 から 60000 ﾐﾘ秒の範囲で指定してください。");
    for (const QString &name : {state, nextState}) {
        if (name.contains(QLatin1Char('"')) || name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\r')))
            return fail(5, "状態の名前に \" と改行は使えません。");
    }
    if (field)
        *field = 0;
    return QString();
}
