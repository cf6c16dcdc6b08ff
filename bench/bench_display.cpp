// Costs of the hex codec and the message windows: appending, painting, short-line rate and memory.
// (The receive path through the frame and view is in bench_receive.cpp; both share this main.)
#include "display/ui/cfindbar.h"
#include "platform/chexconv.h"
#include "display/clinerecorder.h"
#include "display/ui/clineview.h"
#include "display/ui/cmessagewnd.h"
#include "platform/ui/uifonts.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QScrollBar>

#include <chrono>
#include <memory>
#include <vector>
#include <unistd.h>

namespace {

QByteArray Pattern(int length)
{
    QByteArray data(length, '\0');
    for (int i = 0; i < length; ++i)
        data[i] = static_cast<char>(i * 13 + 7);
    return data;
}

const unsigned char *Bytes(const QByteArray &data)
{
    return reinterpret_cast<const unsigned char *>(data.constData());
}

// A History window as the view sets it up; shown windows are 800 × 600.
std::unique_ptr<CMessageWnd> MakeWindow(bool shown)
{
    auto window = std::make_unique<CMessageWnd>();
    window->Create(nullptr, KIND_HISTORY);
    window->setEnabled(true);
    window->setWindowTitle(QStringLiteral("送受信履歴"));
    if (shown) {
        window->resize(800, 600);
        window->show();
        QApplication::processEvents();
    }
    return window;
}

// A shown window holding `count` lines of the telegram `data` in hex, painted.
std::unique_ptr<CMessageWnd> MakeShownWithLongLines(const QByteArray &data, int count)
{
    auto window = MakeWindow(true);
    for (int i = 0; i < count; ++i)
        window->AddTelegram(QStringLiteral("R "), Bytes(data), int(data.size()));
    window->TextArea()->Flush();
    window->TextArea()->viewport()->repaint();
    return window;
}

// Brings the display up to date and paints the text area now.
void Paint(CMessageWnd &window)
{
    window.TextArea()->Flush();
    window.TextArea()->viewport()->repaint();
}

double ResidentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

void BM_Bin2HexString(benchmark::State &state)
{
    const QByteArray data = Pattern(static_cast<int>(state.range(0)));
    CHexConv conv;
    QByteArray hex;
    for (auto _ : state) {
        conv.Bin2HexString(Bytes(data), int(data.size()), hex, QN_MAX_RECEIVE);
        benchmark::DoNotOptimize(hex.data());
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_Bin2HexString)->Arg(1)->Arg(1024)->Arg(QN_MAX_RECEIVE)->Unit(benchmark::kMicrosecond);

// Typed hex digits back into bytes.
void BM_HexString2Bin(benchmark::State &state)
{
    const QByteArray data = Pattern(static_cast<int>(state.range(0)));
    const QByteArray text = data.toHex().toUpper();
    std::vector<unsigned char> out(size_t(data.size()) + 1);
    CHexConv conv;
    for (auto _ : state) {
        conv.HexString2Bin(text, out.data(), int(out.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_HexString2Bin)->Arg(1)->Arg(1024)->Arg(QN_MAX_RECEIVE)->Unit(benchmark::kMicrosecond);

// One telegram appended; when shown, the window is brought up to date and painted after it.
void BM_AddTelegram(benchmark::State &state)
{
    const QByteArray data = Pattern(static_cast<int>(state.range(0)));
    const bool shown = state.range(1) != 0;
    auto window = MakeWindow(shown);
    for (auto _ : state) {
        benchmark::DoNotOptimize(window->AddTelegram(QStringLiteral("R "), Bytes(data), int(data.size())));
        if (shown)
            Paint(*window);
    }
    state.counters["lines"] = window->LineCount();
}
BENCHMARK(BM_AddTelegram)
    ->ArgNames({"bytes", "shown"})
    ->ArgsProduct({{1, 1024, QN_MAX_RECEIVE}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// A 2,048,000-character line appended to a shown window that already holds `long` such lines, then
// painted with the view scrolled to the middle of the long lines.
void BM_LongLineAppendThenPaint(benchmark::State &state)
{
    const QByteArray data = Pattern(QN_MAX_RECEIVE);
    auto window = MakeShownWithLongLines(data, static_cast<int>(state.range(0)));
    double insertSeconds = 0;
    double paintSeconds = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        window->AddTelegram(QStringLiteral("R "), Bytes(data), int(data.size()));
        window->TextArea()->Flush();
        auto t1 = std::chrono::steady_clock::now();
        QScrollBar *horizontal = window->TextArea()->horizontalScrollBar();
        horizontal->setValue(horizontal->maximum() / 2);
        window->TextArea()->viewport()->repaint();
        auto t2 = std::chrono::steady_clock::now();
        insertSeconds += std::chrono::duration<double>(t1 - t0).count();
        paintSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["insert_ms"] = benchmark::Counter(insertSeconds * 1000, benchmark::Counter::kAvgIterations);
    state.counters["paint_ms"] = benchmark::Counter(paintSeconds * 1000, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LongLineAppendThenPaint)->ArgName("long")->Arg(0)->Arg(1)->Arg(5)->Arg(30)->Unit(benchmark::kMillisecond);

// Counts the paint events of a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return QObject::eventFilter(watched, event);
    }
};

// Short log lines into a shown window, `batch` per turn of the event loop, with `long`
// 2,048,000-character lines already present. The window paints as often as it chooses.
void BM_AddLineShortShown(benchmark::State &state)
{
    const QByteArray data = Pattern(QN_MAX_RECEIVE);
    auto window = MakeShownWithLongLines(data, static_cast<int>(state.range(0)));
    PaintCounter counter;
    window->TextArea()->viewport()->installEventFilter(&counter);
    const int batch = static_cast<int>(state.range(1));
    const QString text = QStringLiteral(">>> 受信 0102030405060708090A0B0C0D0E0F [CTCPSoc(Term)]");
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i)
            window->AddLine(text);
        QApplication::processEvents();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetItemsProcessed(state.iterations() * batch);
    state.counters["paints_per_s"] = counter.paints / seconds;
}
BENCHMARK(BM_AddLineShortShown)
    ->ArgNames({"long", "batch"})
    ->ArgsProduct({{0, 1, 5}, {1, 100}})
    ->Unit(benchmark::kMicrosecond);

// Resident memory while 1000 telegrams of 1,024,000 bytes arrive, and after the clear button.
void BM_Memory1000LongLines(benchmark::State &state)
{
    const QByteArray data = Pattern(QN_MAX_RECEIVE);
    for (auto _ : state) {
        auto window = MakeWindow(true);
        const double before = ResidentMegabytes();
        double peak = before;
        for (int i = 0; i < 1000; ++i) {
            window->AddTelegram(QStringLiteral("R "), Bytes(data), int(data.size()));
            if (i % 50 == 49) {
                Paint(*window);
                peak = std::max(peak, ResidentMegabytes());
            }
        }
        state.counters["lines_kept"] = window->LineCount();
        state.counters["stored_MB"] = double(window->StoredBytes()) / (1024.0 * 1024.0);
        state.counters["rss_before_MB"] = before;
        state.counters["rss_peak_MB"] = peak;
        window->TextArea()->Clear();
        Paint(*window);
        state.counters["rss_after_clear_MB"] = ResidentMegabytes();
    }
}
BENCHMARK(BM_Memory1000LongLines)->Iterations(1)->Unit(benchmark::kMillisecond);

// Finding in a full window (the 64 MB budget): `lines` telegrams whose hex fills it, shown, with
// the find bar's text set as a user types it (count, marks, first match selected and in view).
// mode: 0 text "0D0A", 1 hex bytes 0D0A, 2 hex with "一致する行のみ表示", 3 text found nowhere,
// 4 a 2 MB search text (the whole of one line).
void BM_FindInFullWindow(benchmark::State &state)
{
    const int lines = static_cast<int>(state.range(0));
    const int mode = static_cast<int>(state.range(1));
    const int bytes = static_cast<int>(std::min<qint64>(QN_MAX_RECEIVE, 64LL * 1024 * 1024 / 2 / lines - 64));
    auto window = MakeWindow(true);
    QByteArray data = Pattern(bytes);
    for (int i = 0; i < lines; ++i) {
        data[i % bytes] = '\x0d';
        data[(i + 1) % bytes] = '\x0a';
        window->AddTelegram(QStringLiteral("R "), Bytes(data), int(data.size()));
    }
    Paint(*window);
    window->ShowFindBar();
    CFindBar *bar = window->FindBar();
    bar->ModeBox()->setCurrentIndex(mode == 1 || mode == 2 || mode == 4 ? 1 : 0);
    bar->MatchingOnlyBox()->setChecked(mode == 2);
    const QString pattern = mode == 3 ? QStringLiteral("not there") : mode == 4 ? QString::fromLatin1(data.toHex().toUpper()) : QStringLiteral("0D0A");
    for (auto _ : state) {
        bar->Edit()->clear();
        auto t0 = std::chrono::steady_clock::now();
        bar->Edit()->setText(pattern);
        Paint(*window);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    state.counters["text_MB"] = double(window->StoredBytes()) / (1024.0 * 1024.0);
    state.counters["lines"] = window->LineCount();
    state.counters["matches"] = double(window->TextArea()->MatchTotal());
}
BENCHMARK(BM_FindInFullWindow)
    ->ArgNames({"lines", "mode"})
    ->ArgsProduct({{32, 1000}, {0, 1, 2, 3}})
    ->Args({32, 4})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Short lines into a shown History that records to a file: the window's cost with the recorder.
void BM_AddTelegramRecorded(benchmark::State &state)
{
    QTemporaryDir dir;
    auto window = MakeWindow(true);
    const bool record = state.range(0) != 0;
    if (record)
        window->StartRecordingTo(dir.filePath(QStringLiteral("history.log")));
    const QByteArray data = Pattern(8);
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i)
            window->AddTelegram(QStringLiteral("R "), Bytes(data), int(data.size()));
        QApplication::processEvents();
    }
    if (record)
        window->Recorder()->WaitWritten();
    state.SetItemsProcessed(state.iterations() * 100);
    state.counters["recording"] = window->IsRecording();
    state.counters["file_MB"] = record ? double(QFile(dir.filePath(QStringLiteral("history.log"))).size()) / (1024.0 * 1024.0) : 0;
}
BENCHMARK(BM_AddTelegramRecorded)->ArgName("record")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
