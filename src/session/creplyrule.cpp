#include "session/creplyrule.h"

#include "platform/cchecksumrule.h"
#include "platform/escapedtext.h"
#include "platform/qnwin.h"

bool CReplyRule::DecodeHex(const QString &text, QByteArray *out)
{
    out->clear();
    int high = -1;
    for (QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t')) {
            if (high >= 0)
                return false;  // a blank splits a pair
            continue;
        }
        const int d = HexDigitValue(c);
        if (d < 0)
            return false;
        if (high < 0) {
            high = d;
        } else {
            out->append(char(high << 4 | d));
            high = -1;
        }
    }
    return high < 0;
}

bool CReplyRule::DecodeText(const QString &text, QByteArray *out)
{
    return DecodeEscapedText(text, out, TextEscapes::WithTab);
}

bool CReplyRule::Decode(bool text, const QString &value, QByteArray *out)
{
    return text ? DecodeText(value, out) : DecodeHex(value, out);
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
    if (kind < KindEquals || kind > KindEndsWith)
        return fail(1, "照合方法が正しくありません。");
    if (!Decode(matchText, match, &bytes))
        return fail(1, matchText ? "照合ﾃﾞｰﾀの \\ の使い方が正しくありません (\\r \\n \\t \\\\ \\xHH が使えます)。"
                                 : "照合ﾃﾞｰﾀが正しい16進数ではありません (2桁ずつ 0-9 A-F)。");
    if (bytes.isEmpty())
        return fail(1, "照合ﾃﾞｰﾀが空です。");
    if (bytes.size() > QN_BUFFER_SIZE)
        return fail(1, "照合ﾃﾞｰﾀが長すぎます。");
    if (!Decode(replyText, reply, &bytes))
        return fail(2, replyText ? "応答ﾃﾞｰﾀの \\ の使い方が正しくありません (\\r \\n \\t \\\\ \\xHH が使えます)。"
                                 : "応答ﾃﾞｰﾀが正しい16進数ではありません (2桁ずつ 0-9 A-F)。");
    if (bytes.isEmpty())
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
    if (field)
        *field = 0;
    return QString();
}
