// Micro-benchmarks of the way a status frame travels through the tool: the
// CRC, the frame receiver and the status decoder of the protocol library, a
// session's receive path with no window, and the whole path into the real
// window (offscreen). scripts/bench.sh runs this program.
//
// Besides time, every benchmark reports the heap allocations its work makes,
// counted over untimed passes before the timed loop.

#include "allocation_counter.h"
#include "bench_window.h"
#include "status_frames.h"

#include "protocol/crc16.h"
#include "protocol/frame_receiver.h"
#include "protocol/status_decoder.h"
#include "session/session.h"

#include <QtWidgets/QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <utility>

namespace {

constexpr int stream_bytes = 64 * 1024;
constexpr int chunk_bytes = 4096;
constexpr unsigned noise_seed = 7;
constexpr int counted_calls = 10 * Status_frames::cycle;
constexpr int many_frames_per_read = 100;
constexpr int reads_per_untimed_pass = 32;

Bench_window *bench = nullptr;
Session *bare_session = nullptr; // no window connected
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

// Shown as seconds of CPU per frame with an SI prefix: "2.5u" is 2.5 us.
void report_frames(benchmark::State &state, int frames_per_iteration, double allocations)
{
    const int64_t frames = state.iterations() * frames_per_iteration;
    state.SetItemsProcessed(frames);
    state.counters["per_frame"] = benchmark::Counter(
        static_cast<double>(frames), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocs_per_frame"] = allocations / frames_per_iteration;
}

// Cycles through a list of byte arrays, one per call.
class Cycle
{
public:
    explicit Cycle(QVector<QByteArray> items) : items(std::move(items)) {}

    const QByteArray &next()
    {
        const QByteArray &item = items.at(index);
        index = index + 1 == items.size() ? 0 : index + 1;
        return item;
    }

private:
    QVector<QByteArray> items;
    int index = 0;
};

QVector<QByteArray> frames_of(const QVector<Unit_status> &statuses)
{
    QVector<QByteArray> frames;
    for (const Unit_status &status : statuses)
        frames.append(Status_frames::frame(status));
    return frames;
}

QVector<Unit_status> identical()
{
    return {Status_frames::full_unit()};
}
QVector<Unit_status> realistic()
{
    return Status_frames::drifting(Status_frames::cycle);
}
QVector<Unit_status> worst_case()
{
    return {Status_frames::full_unit(), Status_frames::every_colour_flipped()};
}

// One read per status of the cycle, each of frames_per_read frames that go
// through the cycle in order and end on that status: the last frame of a read,
// the one the window draws, follows the last of the read before in the cycle.
QVector<QByteArray> reads_of(const QVector<Unit_status> &statuses, int frames_per_read)
{
    const QVector<QByteArray> frames = frames_of(statuses);
    const int count = frames.size();
    QVector<QByteArray> reads;
    for (int last = 0; last < count; ++last) {
        QByteArray read;
        for (int i = frames_per_read - 1; i >= 0; --i)
            read += frames[((last - i) % count + count) % count];
        reads.append(read);
    }
    return reads;
}

// ---- Protocol library ----

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

// Realistic payloads decoded in place onto one status, as the session does.
void BM_decoder(benchmark::State &state)
{
    QVector<QByteArray> payloads;
    for (const Unit_status &status : realistic())
        payloads.append(Status_frames::payload(status));
    Cycle cycle(payloads);
    Unit_status status;
    const auto one_payload = [&]() {
        const QByteArray &payload = cycle.next();
        benchmark::DoNotOptimize(
            Status_decoder::decode(reinterpret_cast<const uint8_t *>(payload.constData()),
                                   static_cast<std::size_t>(payload.size()), status));
    };
    const double allocations = allocations_per_call(counted_calls, one_payload);
    for (auto _ : state)
        one_payload();
    report_frames(state, 1, allocations);
}
BENCHMARK(BM_decoder);

// ---- The session, with no window: receiver, decoder, signals ----

void run_session(benchmark::State &state, const QVector<Unit_status> &statuses)
{
    Cycle cycle(frames_of(statuses));
    const auto one_frame = [&]() { bare_session->receive(cycle.next()); };
    const double allocations = allocations_per_call(counted_calls, one_frame);
    for (auto _ : state)
        one_frame();
    report_frames(state, 1, allocations);
}

void BM_session_identical(benchmark::State &state)
{
    run_session(state, identical());
}
BENCHMARK(BM_session_identical)->Unit(benchmark::kMicrosecond);

void BM_session_realistic(benchmark::State &state)
{
    run_session(state, realistic());
}
BENCHMARK(BM_session_realistic)->Unit(benchmark::kMicrosecond);

// Noise in the chunks a serial read brings: every frame it seems to hold
// fails its CRC and writes a debug line.
void BM_session_noise(benchmark::State &state)
{
    QVector<QByteArray> chunks;
    const QByteArray stream = Status_frames::noise(stream_bytes, noise_seed);
    for (int at = 0; at < stream.size(); at += chunk_bytes)
        chunks.append(stream.mid(at, chunk_bytes));
    const auto pass = [&]() {
        for (const QByteArray &chunk : chunks)
            bare_session->receive(chunk);
    };
    const double allocations = allocations_per_call(1, pass);
    for (auto _ : state)
        pass();
    report_stream(state, stream.size(), allocations);
}
BENCHMARK(BM_session_noise);

// ---- The whole path into the window, one read per iteration ----

// Each read goes to the session as the serial channel hands it over, and the
// window draws the last status of the read before the read returns. With
// paint, the layout and painting the draw posted run too, as they do on the
// same pass of the event loop. Without, only the labels take their texts and
// colours; what the draw posted is run outside the timing, once every so many
// reads, as the toolkit looks through the events left behind at every read.
void run_path(benchmark::State &state, const QVector<Unit_status> &statuses)
{
    const int frames_per_read = static_cast<int>(state.range(0));
    const bool paint = state.range(1) != 0;
    Cycle cycle(reads_of(statuses, frames_per_read));
    const auto one_read = [&]() {
        bench->feed(cycle.next());
        if (paint)
            Bench_window::settle();
    };
    bench->resync();
    for (int i = 0; i < counted_calls; ++i)
        one_read();
    Bench_window::settle();
    const double allocations = allocations_per_call(counted_calls, one_read);
    Bench_window::settle();
    int reads_left = reads_per_untimed_pass;
    for (auto _ : state) {
        one_read();
        if (!paint && --reads_left == 0) {
            state.PauseTiming();
            Bench_window::settle();
            state.ResumeTiming();
            reads_left = reads_per_untimed_pass;
        }
    }
    report_frames(state, frames_per_read, allocations);
}

void path_arguments(benchmark::internal::Benchmark *benchmark)
{
    benchmark->ArgNames({"per_read", "paint"})->Unit(benchmark::kMicrosecond);
    for (const int frames_per_read : {1, many_frames_per_read})
        for (const int paint : {0, 1})
            benchmark->Args({frames_per_read, paint});
}

void BM_path_identical(benchmark::State &state)
{
    run_path(state, identical());
}
BENCHMARK(BM_path_identical)->Apply(path_arguments);

void BM_path_realistic(benchmark::State &state)
{
    run_path(state, realistic());
}
BENCHMARK(BM_path_realistic)->Apply(path_arguments);

void BM_path_worst_case(benchmark::State &state)
{
    run_path(state, worst_case());
}
BENCHMARK(BM_path_worst_case)->Apply(path_arguments);

} // namespace

int main(int argc, char *argv[])
{
    Bench_window::use_offscreen_platform();
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    // Neither session has a port; listening only, they send no control frame
    // into the void when their watchdog finds the frames fed here.
    auto window = std::make_unique<Bench_window>();
    bench = window.get();
    bench->session().set_listen_only(true);
    Session session;
    session.set_listen_only(true);
    bare_session = &session;
    qInstallMessageHandler(count_message);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    qInstallMessageHandler(nullptr);
    if (debug_messages > 0)
        std::fprintf(stderr, "debug stream lines during the run: %d\n", debug_messages);
    window.reset();
    return 0;
}
