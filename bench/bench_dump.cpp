// Costs of the History's dump view over a full window (the 64 MB budget): switching to it and back,
// the paint after each scroll step, and finding bytes.
#include "display/ui/cdumpview.h"
#include "display/ui/cfindbar.h"
#include "display/ui/clineview.h"
#include "display/ui/cmessagewnd.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// A shown History (800 × 600) holding `lines` telegrams whose hex fills the budget, painted.
std::unique_ptr<CMessageWnd> FullHistory(int lines)
{
    auto window = std::make_unique<CMessageWnd>();
    window->Create(nullptr, KIND_HISTORY);
    window->setEnabled(true);
    window->SetDumpView(false);
    window->resize(800, 600);
    window->show();
    QApplication::processEvents();
    const int bytes = int(std::min<qint64>(QN_MAX_RECEIVE, 64LL * 1024 * 1024 / 2 / lines - 64));
    QByteArray data(bytes, Qt::Uninitialized);
    for (int i = 0; i < bytes; ++i)
        data[i] = char(i * 13 + 7);
    for (int i = 0; i < lines; ++i) {
        data[i % bytes] = '\x0d';
        data[(i + 1) % bytes] = '\x0a';
        window->AddTelegram(QStringLiteral("R "), reinterpret_cast<const uchar *>(data.constData()), bytes);
    }
    window->TextArea()->Flush();
    window->TextArea()->viewport()->repaint();
    return window;
}

void Repaint(CMessageWnd &window)
{
    if (window.DumpView())
        window.Dump()->viewport()->repaint();
    else
        window.TextArea()->viewport()->repaint();
}

// Ctrl+D to the dump and painted, then back to the lines and painted: the slower of the two each time.
void BM_DumpSwitch(benchmark::State &state)
{
    auto window = FullHistory(int(state.range(0)));
    double slowest = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        window->SetDumpView(true);
        Repaint(*window);
        const double there = Seconds(t0);
        t0 = Clock::now();
        window->SetDumpView(false);
        Repaint(*window);
        const double back = Seconds(t0);
        slowest = std::max({slowest, there, back});
        state.SetIterationTime(std::max(there, back));
    }
    state.counters["rows"] = window->Dump()->Model().RowCount();
    state.counters["slowest_ms"] = slowest * 1000;
}
BENCHMARK(BM_DumpSwitch)->ArgName("lines")->Arg(32)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);

// Scrolling through the dump: one step (line, page, or a jump with the scroll bar) and its paint;
// the iteration time is the slowest of 200 steps spread over the whole window.
void BM_DumpScroll(benchmark::State &state)
{
    auto window = FullHistory(int(state.range(0)));
    window->SetDumpView(true);
    Repaint(*window);
    QScrollBar *bar = window->Dump()->verticalScrollBar();
    double total = 0;
    int steps = 0;
    for (auto _ : state) {
        double slowest = 0;
        for (int i = 0; i < 200; ++i) {
            const auto t0 = Clock::now();
            if (i % 3 == 0)
                bar->setValue(int(qint64(bar->maximum()) * i / 200));
            else
                bar->triggerAction(i % 3 == 1 ? QAbstractSlider::SliderSingleStepAdd : QAbstractSlider::SliderPageStepAdd);
            Repaint(*window);
            const double step = Seconds(t0);
            slowest = std::max(slowest, step);
            total += step;
            ++steps;
        }
        state.SetIterationTime(slowest);
    }
    state.counters["mean_step_ms"] = total / std::max(1, steps) * 1000;
}
BENCHMARK(BM_DumpScroll)->ArgName("lines")->Arg(32)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);

// The find bar's hex bytes 0D0A set as typed, in the dump (1) or in the lines (0), and painted.
void BM_DumpFind(benchmark::State &state)
{
    auto window = FullHistory(int(state.range(0)));
    window->SetDumpView(state.range(1) != 0);
    Repaint(*window);
    window->ShowFindBar();
    CFindBar *bar = window->FindBar();
    bar->ModeBox()->setCurrentIndex(1);
    for (auto _ : state) {
        bar->Edit()->clear();
        const auto t0 = Clock::now();
        bar->Edit()->setText(QStringLiteral("0D0A"));
        Repaint(*window);
        state.SetIterationTime(Seconds(t0));
    }
    state.counters["matches"] = double(window->DumpView() ? window->Dump()->Model().MatchTotal()
                                                            : window->TextArea()->MatchTotal());
}
BENCHMARK(BM_DumpFind)
    ->ArgNames({"lines", "dump"})
    ->ArgsProduct({{32, 1000}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
