// Cost of the reply matcher on one received block: 64 enabled rules of the kind 含む, none found,
// the block holding no byte that starts a rule (the common case) or only such bytes (the worst);
// and 64 rules of the other kinds on a short request, none holding (every rule compared).
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

}  // namespace
