// Cost of the reply matcher on one received block: 64 enabled rules of the kind 含む, none found,
// the block holding no byte that starts a rule (the common case) or only such bytes (the worst);
// 64 rules of the other kinds on a short request, none holding (every rule compared); 64 patterns
// on a 1 MB block, none holding; and a pattern that backtracks without end, held to its bound.
#include "platform/qnwin.h"
#include "session/creplymatcher.h"

#include <benchmark/benchmark.h>

namespace {

void BM_ReplyMatcher64Contains(benchmark::State &state)
{
    QList<CReplyRule> rules;
    for (int i = 0; i < CReplyMatcher::kMaxRules; ++i) {
        CReplyRule rule;
        rule.kind = CReplyRule::KindContains;
        rule.match = QStringLiteral("%1A5A5A5A5A5A5%2").arg(i * 4 + 1, 2, 16, QLatin1Char('0')).arg(i, 2, 16, QLatin1Char('0'));
        rule.reply = QStringLiteral("06");
        rules.append(rule);
    }
    CReplyMatcher matcher;
    matcher.SetRules(rules);
    // 'x' starts no rule; 0x01 starts the first.
    const QByteArray block(QN_MAX_RECEIVE, state.range(0) ? '\x01' : 'x');
    const auto *data = reinterpret_cast<const unsigned char *>(block.constData());
    for (auto _ : state)
        benchmark::DoNotOptimize(matcher.Match(data, int(block.size())));
    state.SetBytesProcessed(state.iterations() * block.size());
}
BENCHMARK(BM_ReplyMatcher64Contains)->ArgName("worst")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_ReplyMatcher64Short(benchmark::State &state)
{
    QList<CReplyRule> rules;
    for (int i = 0; i < CReplyMatcher::kMaxRules; ++i) {
        CReplyRule rule;
        rule.kind = i % 3 == 0 ? CReplyRule::KindEquals : i % 3 == 1 ? CReplyRule::KindStartsWith : CReplyRule::KindEndsWith;
        rule.match = QStringLiteral("0103%1 000A").arg(i, 4, 16, QLatin1Char('0'));
        rule.reply = QStringLiteral("06");
        rules.append(rule);
    }
    CReplyMatcher matcher;
    matcher.SetRules(rules);
    if (matcher.IsEmpty())
        state.SkipWithError("no rule");
    const QByteArray block("\x01\x03\x01\x00\x00\x0A\xC5\xCD", 8);
    const auto *data = reinterpret_cast<const unsigned char *>(block.constData());
    for (auto _ : state)
        benchmark::DoNotOptimize(matcher.Match(data, int(block.size())));
}
BENCHMARK(BM_ReplyMatcher64Short)->Unit(benchmark::kNanosecond);

QList<CReplyRule> Patterns(const QStringList &patterns)
{
    QList<CReplyRule> rules;
    for (const QString &pattern : patterns) {
        CReplyRule rule;
        rule.kind = CReplyRule::KindRegex;
        rule.match = pattern;
        rule.reply = QStringLiteral("06");
        rules.append(rule);
    }
    return rules;
}

// 64 patterns as a simulated device would have them: anchored requests (arg 0), or searched
// anywhere in the block (arg 1); a 1 MB block of text that none of them finds.
void BM_ReplyMatcher64Patterns(benchmark::State &state)
{
    QStringList patterns;
    for (int i = 0; i < CReplyMatcher::kMaxRules; ++i) {
        patterns << (state.range(0) ? QStringLiteral("CMD%1 (\\d+)\\r").arg(i) : QStringLiteral("^CMD%1 (\\d+)\\r$").arg(i));
    }
    CReplyMatcher matcher;
    matcher.SetRules(Patterns(patterns));
    if (matcher.IsEmpty())
        state.SkipWithError("no rule");
    QByteArray block;
    while (block.size() < QN_MAX_RECEIVE)
        block += "STATUS 12 OK temperature 21.5 C\r\n";
    block.truncate(QN_MAX_RECEIVE);
    const auto *data = reinterpret_cast<const unsigned char *>(block.constData());
    QList<QByteArray> groups;
    for (auto _ : state)
        benchmark::DoNotOptimize(matcher.Match(data, int(block.size()), nullptr, &groups));
    state.SetBytesProcessed(state.iterations() * block.size());
}
BENCHMARK(BM_ReplyMatcher64Patterns)->ArgName("anywhere")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// ^(a|aa)+$ against a run of 'a' that ends in 'b' (arg: the run's length): without a bound the
// work doubles with each byte.
void BM_ReplyMatcherRunawayPattern(benchmark::State &state)
{
    CReplyMatcher matcher;
    matcher.SetRules(Patterns({QStringLiteral("^(a|aa)+$")}));
    const unsigned char warm = 'a';
    matcher.Match(&warm, 1);  // the pattern is compiled for the machine on its first match
    const QByteArray block = QByteArray(int(state.range(0)), 'a') + 'b';
    const auto *data = reinterpret_cast<const unsigned char *>(block.constData());
    for (auto _ : state)
        benchmark::DoNotOptimize(matcher.Match(data, int(block.size())));
}
BENCHMARK(BM_ReplyMatcherRunawayPattern)->Arg(24)->Arg(32)->Arg(4096)->Arg(1 << 20)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
