#include "line_pacer.h"

#include "status_frames.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

constexpr int64_t ns_per_s = 1000000000;
constexpr int64_t ns_per_ms = 1000000;

int64_t monotonic_ns()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * ns_per_s + now.tv_nsec;
}

void sleep_until(int64_t when_ns)
{
    timespec when{};
    when.tv_sec = when_ns / ns_per_s;
    when.tv_nsec = when_ns % ns_per_s;
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &when, nullptr) != 0) {
    }
}

bool read_line()
{
    char line[64];
    return std::fgets(line, sizeof line, stdin) != nullptr;
}

} // namespace

const char *Line_pacer::name(Values values)
{
    switch (values) {
    case Values::drifting:
        return "drifting";
    case Values::varying:
        return "varying";
    case Values::flipping:
        return "flipping";
    }
    return "";
}

bool Line_pacer::parse(const char *text, Values &values)
{
    for (const Values candidate : {Values::drifting, Values::varying, Values::flipping}) {
        if (std::strcmp(text, name(candidate)) == 0) {
            values = candidate;
            return true;
        }
    }
    return false;
}

Line_pacer::Line_pacer(int rate, int seconds, Values values)
    : frames_per_second(rate), frames_total(static_cast<int64_t>(rate) * seconds), values(values),
      base_state(Status_frames::full_unit()), flipped_state(Status_frames::every_colour_flipped())
{
    engine.state() = base_state;
    engine.settings().drift = values == Values::drifting;
}

int Line_pacer::run()
{
    if (!pty.open()) {
        std::fprintf(stderr, "cannot create a pseudo-terminal: %s\n",
                     qPrintable(pty.error_string()));
        return 1;
    }
    std::printf("%s\n", qPrintable(pty.slave_path()));
    std::fflush(stdout);
    if (!read_line())
        return 0;

    const int64_t start = monotonic_ns();
    int64_t tick = start;
    while (sent < frames_total || !pending.isEmpty()) {
        const int64_t elapsed = monotonic_ns() - start;
        // The first frame leaves at once, the last one at (total - 1) / rate.
        const int64_t due = elapsed * frames_per_second / ns_per_s + 1;
        send_due(std::min(due, frames_total), elapsed / ns_per_ms);
        exchange(elapsed / ns_per_ms);
        tick += tick_ns;
        sleep_until(tick);
    }
    const int64_t took_ms = (monotonic_ns() - start) / ns_per_ms;
    std::printf("sent %lld in %lld ms, backlog %lld\n", static_cast<long long>(sent),
                static_cast<long long>(took_ms), static_cast<long long>(backlog_max));
    std::fflush(stdout);

    // The tool may still be reading; the line stays up until we are told.
    while (read_line()) {
    }
    return 0;
}

void Line_pacer::send_due(int64_t frames_due, int64_t now_ms)
{
    for (; sent < frames_due; ++sent) {
        set_state(sent);
        pending.append(engine.next_transmission(now_ms));
    }
}

void Line_pacer::set_state(int64_t frame)
{
    // Gains and threshold are the unit's own: the tool's control frames set them.
    Unit_state &state = engine.state();
    const auto gains = state.gain_code;
    const int8_t threshold = state.rx_threshold_dbm;
    switch (values) {
    case Values::drifting:
        return;
    case Values::varying:
        Status_frames::vary(state, base_state, static_cast<int>(frame % Status_frames::cycle));
        return;
    case Values::flipping:
        state = frame % 2 == 0 ? base_state : flipped_state;
        state.gain_code = gains;
        state.rx_threshold_dbm = threshold;
        return;
    }
}

void Line_pacer::exchange(int64_t now_ms)
{
    if (!pending.isEmpty()) {
        const qint64 written = pty.write_some(pending.constData(), pending.size());
        if (written > 0)
            pending.remove(0, static_cast<int>(written));
    }
    note_backlog();
    const QByteArray received = pty.read_available(0);
    if (!received.isEmpty())
        engine.receive(received, now_ms);
}

void Line_pacer::note_backlog()
{
    const int64_t waiting = pending.size() + pty.unread_by_slave();
    backlog_max = std::max(backlog_max, waiting);
}
