// The system figure: velmar-unit-sim in another process sends status frames
// into a pseudo-terminal at about the line rates of 115200 and 4,000,000
// baud, the tool's real window (offscreen) reads them through its serial
// channel, and this prints how many frames were shown and how much of one
// core the tool used. scripts/bench.sh runs this program.
//
//     bench_system [--seconds N] [--runs RUN,RUN,...]
//         RUN: frames a second, or "max" for the simulator as fast as the
//         line takes its frames

#include "bench_window.h"
#include "system_run.h"

#include <QtCore/QVector>
#include <QtWidgets/QApplication>

#include <cstdio>
#include <cstring>

namespace {

constexpr int default_seconds = 5;
// A 38-byte status payload is a 43-byte frame: 430 bits at 10 bits a byte.
constexpr int bits_per_frame = 430;
constexpr int slow_baud = 115200;
constexpr int fast_baud = 4000000;
// The line limits, 267.9 and 9,302 frames a second, in round figures.
constexpr int slow_line_rate = 270;
constexpr int fast_line_rate = 9300;
constexpr int flat_out = 0;

bool parse_runs(const QByteArray &text, QVector<int> &rates)
{
    rates.clear();
    for (const QByteArray &item : text.split(',')) {
        bool ok = item == "max";
        const int rate = ok ? flat_out : item.toInt(&ok);
        if (!ok || rate < 0)
            return false;
        rates.append(rate);
    }
    return !rates.isEmpty();
}

void print_header()
{
    std::printf("Line limits for a 43-byte status frame at 10 bits a byte: %d baud -> %.1f "
                "frames/s, %d baud -> %.1f frames/s\n\n",
                slow_baud, double(slow_baud) / bits_per_frame, fast_baud,
                double(fast_baud) / bits_per_frame);
    std::printf("%-27s %9s %9s %9s  %-4s %10s\n", "unit", "sent", "decoded", "decoded/s", "all",
                "tool CPU");
}

void print_result(const System_run::Result &result)
{
    if (!result.ok) {
        std::printf("%-27s  failed: %s\n", qPrintable(result.source), qPrintable(result.error));
        return;
    }
    const char *all = result.decoded == result.sent ? "yes" : "NO";
    std::printf("%-27s %9lld %9lld %9.0f  %-4s %8.1f %%\n", qPrintable(result.source),
                static_cast<long long>(result.sent), static_cast<long long>(result.decoded),
                result.decoded_per_second, all, 100.0 * result.cpu_share);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    int seconds = default_seconds;
    QVector<int> rates = {slow_line_rate, fast_line_rate, flat_out};
    for (int i = 1; i < argc; i += 2) {
        const bool has_value = i + 1 < argc;
        if (has_value && std::strcmp(argv[i], "--seconds") == 0 && std::atoi(argv[i + 1]) > 0) {
            seconds = std::atoi(argv[i + 1]);
        } else if (!(has_value && std::strcmp(argv[i], "--runs") == 0 &&
                     parse_runs(argv[i + 1], rates))) {
            std::fprintf(stderr, "usage: bench_system [--seconds N] [--runs RUN,RUN,...]\n"
                                 "  RUN: frames a second, e.g. 270, or max\n");
            return 2;
        }
    }

    Bench_window::use_offscreen_platform();
    QApplication app(argc, argv);
    System_run system(QStringLiteral(VELMAR_UNIT_SIM_PATH));

    print_header();
    for (const int rate : rates)
        print_result(system.run(rate, seconds));
    std::printf("\nsent: the simulator's count from its summary line. decoded/s: over the %d s "
                "measured.\nall: every frame sent was decoded. tool CPU: this process's "
                "user + system\ntime over wall time, in %% of one core.\n",
                seconds);
    return 0;
}
