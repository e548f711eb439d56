// The system figure: a simulated unit in another process sends status frames
// into a pseudo-terminal at the line rates of 115200 and 4,000,000 baud, the
// tool's real window (offscreen) reads them through its serial channel, and
// this prints how many frames were shown and how much of one core the tool
// used. scripts/bench.sh runs this program.
//
//     bench_system [--seconds N] [--runs RUN,RUN,...]
//         RUN: frames a second, followed by "v" when every power and
//         temperature is to change in every frame or by "f" when every colour
//         is to turn over in every frame; or "max" for the simulator as fast
//         as the line takes its frames
//     bench_system --pace RATE SECONDS drifting|varying|flipping   (Line_pacer)

#include "bench_window.h"
#include "line_pacer.h"
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
constexpr int slow_line_rate = (slow_baud + bits_per_frame / 2) / bits_per_frame; // 268
constexpr int fast_line_rate = (fast_baud + bits_per_frame / 2) / bits_per_frame; // 9302

struct Run
{
    int rate = 0; // 0: max
    Line_pacer::Values values = Line_pacer::Values::drifting;
};

bool parse_runs(const QByteArray &text, QVector<Run> &runs)
{
    runs.clear();
    for (QByteArray item : text.split(',')) {
        Run run;
        if (item == "max") {
            runs.append(run);
            continue;
        }
        if (item.endsWith('v'))
            run.values = Line_pacer::Values::varying;
        else if (item.endsWith('f'))
            run.values = Line_pacer::Values::flipping;
        if (run.values != Line_pacer::Values::drifting)
            item.chop(1);
        bool ok = false;
        run.rate = item.toInt(&ok);
        if (!ok || run.rate <= 0)
            return false;
        runs.append(run);
    }
    return !runs.isEmpty();
}

void print_header()
{
    std::printf("Line limits for a 43-byte status frame at 10 bits a byte: %d baud -> %.1f "
                "frames/s, %d baud -> %.1f frames/s\n\n",
                slow_baud, double(slow_baud) / bits_per_frame, fast_baud,
                double(fast_baud) / bits_per_frame);
    std::printf("%-27s %-9s %7s %9s %9s %9s  %-4s %8s %10s\n", "unit", "values", "rate/s", "sent",
                "decoded", "decoded/s", "all", "backlog", "tool CPU");
}

void print_result(const System_run::Result &result)
{
    const QString rate =
        result.rate_asked > 0 ? QString::number(result.rate_asked) : QStringLiteral("max");
    const char *values = Line_pacer::name(result.values);
    if (!result.ok) {
        std::printf("%-27s %-9s %7s  failed: %s\n", qPrintable(result.source), values,
                    qPrintable(rate), qPrintable(result.error));
        return;
    }
    // Flooded, the simulator counts what it queued; a few frames are still
    // on their way when it stops.
    const char *all = result.rate_asked == 0 ? "-" : result.decoded == result.sent ? "yes" : "NO";
    const QString backlog =
        result.backlog_bytes >= 0 ? QString::number(result.backlog_bytes) : QStringLiteral("-");
    std::printf("%-27s %-9s %7s %9lld %9lld %9.0f  %-4s %8s %8.1f %%\n", qPrintable(result.source),
                values, qPrintable(rate), static_cast<long long>(result.sent),
                static_cast<long long>(result.decoded), result.decoded_per_second, all,
                qPrintable(backlog), 100.0 * result.cpu_share);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    Line_pacer::Values values = Line_pacer::Values::drifting;
    if (argc == 5 && std::strcmp(argv[1], "--pace") == 0 && Line_pacer::parse(argv[4], values))
        return Line_pacer(std::atoi(argv[2]), std::atoi(argv[3]), values).run();

    int seconds = default_seconds;
    using Values = Line_pacer::Values;
    QVector<Run> runs = {{slow_line_rate, Values::drifting}, {fast_line_rate, Values::drifting},
                         {slow_line_rate, Values::varying},  {fast_line_rate, Values::varying},
                         {slow_line_rate, Values::flipping}, {0, Values::drifting}};
    for (int i = 1; i < argc; i += 2) {
        const bool has_value = i + 1 < argc;
        if (has_value && std::strcmp(argv[i], "--seconds") == 0 && std::atoi(argv[i + 1]) > 0) {
            seconds = std::atoi(argv[i + 1]);
        } else if (!(has_value && std::strcmp(argv[i], "--runs") == 0 &&
                     parse_runs(argv[i + 1], runs))) {
            std::fprintf(stderr, "usage: bench_system [--seconds N] [--runs RUN,RUN,...]\n"
                                 "  RUN: frames a second, e.g. 268; 268v: powers and "
                                 "temperatures change in every frame; 268f: every colour "
                                 "turns over in every frame; max\n");
            return 2;
        }
    }

    Bench_window::use_offscreen_platform();
    QApplication app(argc, argv);
    Bench_window bench;
    System_run system(bench, QCoreApplication::applicationFilePath(),
                      QStringLiteral(VELMAR_UNIT_SIM_PATH));

    print_header();
    for (const Run &run : runs)
        print_result(run.rate > 0 ? system.paced(run.rate, seconds, run.values)
                                  : system.flooded(seconds));
    std::printf("\nall: every frame sent was decoded and drawn. backlog: the most bytes that "
                "ever waited\nfor the tool to read them (one 1 ms tick at 9302/s is about 400). "
                "tool CPU: this\nprocess's user + system time over wall time, in %% of one core. "
                "max: sent and\ndecoded over the whole run, decoded/s over the %d s measured.\n",
                seconds);
    return 0;
}
