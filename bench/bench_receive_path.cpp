// Micro-benchmarks of the way a status frame travels through the tool: the
// CRC, the frame receiver, and the whole path of receiver, decoder and the
// redraw of the real window (offscreen). scripts/bench.sh runs this program.
//
// Besides time, every benchmark reports the heap allocations its work makes,
// counted over one untimed pass before the timed loop.

#include "allocation_counter.h"
#include "bench_window.h"
#include "status_frames.h"

#include "link/crc16.h"
#include "link/frame_receiver.h"
#include "support/main_window_probe.h"

#include <QtCore/QSignalBlocker>
#include <QtWidgets/QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <utility>

namespace {

constexpr int stream_bytes = 64 * 1024;
constexpr int chunk_bytes = 4096;
constexpr unsigned noise_seed = 7;
constexpr int counted_frames = 10 * Status_frames::cycle;

Bench_window *bench = nullptr;
int debug_messages = 0;

void count_message(QtMsgType, const QMessageLogContext &, const QString &)
{
    ++debug_messages;
}

template <typename Work> double allocations_per_call(int calls, Work work)
{
    const uint64_t before = Allocation_counter::count();
    for (int i = 0; i < calls; ++i)
        work();
    return static_cast<double>(Allocation_counter::count() - before) / calls;
}

void report_stream(benchmark::State &state, int64_t bytes_per_iteration, double allocations)
{
    state.SetBytesProcessed(state.iterations() * bytes_per_iteration);
    state.counters["allocs_per_pass"] = allocations;
}

// Shown as seconds per frame with an SI prefix: "2.5u" is 2.5 us of CPU.
void report_frames(benchmark::State &state, double allocations)
{
    state.SetItemsProcessed(state.iterations());
    state.counters["per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocs_per_frame"] = allocations;
}

// Cycles through a workload's frames, one per call.
class Frame_cycle
{
public:
    explicit Frame_cycle(QVector<QByteArray> frames) : frames(std::move(frames)) {}

    const QByteArray &next()
    {
        const QByteArray &frame = frames[index];
        index = index + 1 == frames.size() ? 0 : index + 1;
        return frame;
    }

private:
    QVector<QByteArray> frames;
    int index = 0;
};

QVector<QByteArray> identical_frames()
{
    return {Status_frames::frame(Status_frames::full_unit())};
}

QVector<QByteArray> realistic_frames()
{
    return Status_frames::drifting(Status_frames::cycle);
}

QVector<QByteArray> worst_case_frames()
{
    return {Status_frames::frame(Status_frames::full_unit()),
            Status_frames::frame(Status_frames::every_colour_flipped())};
}

// ---- CRC and receiver on their own ----

void BM_crc16(benchmark::State &state)
{
    const QByteArray bytes = Status_frames::noise(static_cast<int>(state.range(0)), noise_seed);
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    for (auto _ : state)
        benchmark::DoNotOptimize(crc16(data, static_cast<std::size_t>(bytes.size())));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_crc16)->Arg(41)->Arg(stream_bytes);

void run_receiver(benchmark::State &state, const QByteArray &stream)
{
    Frame_receiver receiver;
    const auto *data = reinterpret_cast<const uint8_t *>(stream.constData());
    int64_t good = 0;
    const auto pass = [&]() {
        for (int i = 0; i < stream.size(); ++i)
            good += receiver.push(data[i]) == Frame_receiver::Event::crc_good ? 1 : 0;
    };
    const double allocations = allocations_per_call(1, pass);
    good = 0;
    for (auto _ : state) {
        pass();
        benchmark::ClobberMemory();
    }
    report_stream(state, stream.size(), allocations);
    state.counters["frames_per_pass"] =
        benchmark::Counter(static_cast<double>(good), benchmark::Counter::kAvgIterations);
}

void BM_receiver_valid_frames(benchmark::State &state)
{
    run_receiver(state, Status_frames::repeated(Status_frames::frame(Status_frames::full_unit()),
                                                stream_bytes));
}
BENCHMARK(BM_receiver_valid_frames);

void BM_receiver_noise(benchmark::State &state)
{
    run_receiver(state, Status_frames::noise(stream_bytes, noise_seed));
}
BENCHMARK(BM_receiver_noise);

// ---- The window's receiver slot, in chunks as the serial channel reads them ----

void run_slot(benchmark::State &state, const QByteArray &stream)
{
    QVector<QByteArray> chunks;
    for (int at = 0; at < stream.size(); at += chunk_bytes)
        chunks.append(stream.mid(at, chunk_bytes));
    const auto pass = [&]() {
        for (const QByteArray &chunk : chunks)
            bench->feed(chunk);
    };
    bench->resync();
    pass(); // the window shows the stream before anything is counted
    const double allocations = allocations_per_call(1, pass);
    for (auto _ : state)
        pass();
    report_stream(state, stream.size(), allocations);
    bench->resync();
}

// Identical frames: each one is also decoded and handed to the redraw.
void BM_slot_valid_frames(benchmark::State &state)
{
    run_slot(state, Status_frames::repeated(Status_frames::frame(Status_frames::full_unit()),
                                            stream_bytes));
}
BENCHMARK(BM_slot_valid_frames);

void BM_slot_noise(benchmark::State &state)
{
    run_slot(state, Status_frames::noise(stream_bytes, noise_seed));
}
BENCHMARK(BM_slot_noise);

// ---- The whole path, one frame per iteration ----

// Receiver, decoder and redraw of the window's labels for each frame in turn.
// With paint, the layout and painting the redraw posted run after every
// frame too, as they do when each frame arrives on its own pass of the event
// loop (slow lines); on a fast line one pass serves many frames.
void run_path(benchmark::State &state, const QVector<QByteArray> &frames)
{
    const bool paint = state.range(0) != 0;
    Frame_cycle cycle(frames);
    const auto one_frame = [&]() {
        bench->feed(cycle.next());
        if (paint)
            Bench_window::settle();
    };
    bench->resync();
    for (int i = 0; i < 2 * frames.size(); ++i)
        one_frame();
    Bench_window::settle();
    const double allocations = allocations_per_call(counted_frames, one_frame);
    for (auto _ : state)
        one_frame();
    report_frames(state, allocations);
}

void BM_path_identical(benchmark::State &state)
{
    run_path(state, identical_frames());
}
BENCHMARK(BM_path_identical)->ArgName("paint")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_path_realistic(benchmark::State &state)
{
    run_path(state, realistic_frames());
}
BENCHMARK(BM_path_realistic)->ArgName("paint")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_path_worst_case(benchmark::State &state)
{
    run_path(state, worst_case_frames());
}
BENCHMARK(BM_path_worst_case)->ArgName("paint")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Receiver and decoder without the redraw: the decoder's signals are blocked,
// so the window is not told. Realistic frames, so every field is rewritten.
void BM_receiver_and_decoder(benchmark::State &state)
{
    Frame_cycle cycle(realistic_frames());
    const auto one_frame = [&]() { bench->feed(cycle.next()); };
    bench->resync();
    const QSignalBlocker quiet(&bench->probe().parcer());
    const double allocations = allocations_per_call(counted_frames, one_frame);
    for (auto _ : state)
        one_frame();
    report_frames(state, allocations);
}
BENCHMARK(BM_receiver_and_decoder)->Unit(benchmark::kMicrosecond);

// The redraw alone, with nothing changed since the last one: what every
// identical frame costs on top of the receiver and decoder.
void BM_redraw_unchanged(benchmark::State &state)
{
    bench->feed(identical_frames().first());
    Bench_window::settle();
    const auto redraw = []() { bench->probe().redraw(); };
    const double allocations = allocations_per_call(counted_frames, redraw);
    for (auto _ : state)
        redraw();
    report_frames(state, allocations);
}
BENCHMARK(BM_redraw_unchanged)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char *argv[])
{
    Bench_window::use_offscreen_platform();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    // The watchdog would blank the window between benchmarks; the frame path
    // is what is measured here.
    auto window = std::make_unique<Bench_window>();
    bench = window.get();
    bench->probe().watchdog_timer().stop();
    qInstallMessageHandler(count_message);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    qInstallMessageHandler(nullptr);
    if (debug_messages > 0)
        std::fprintf(stderr, "debug stream lines during the run: %d\n", debug_messages);
    window.reset();
    return 0;
}
