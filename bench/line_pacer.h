#ifndef VELMAR_BENCH_LINE_PACER_H
#define VELMAR_BENCH_LINE_PACER_H

#include "tools/pty_device.h"
#include "tools/unit_engine.h"

#include <QtCore/QByteArray>

#include <cstdint>

// The simulated unit at an exact, high frame rate, for the system benchmark.
// It runs in a process of its own so that the tool's process is charged only
// for the tool's work:
//     bench_system --pace RATE SECONDS drifting|varying|flipping
//
// It makes its frames with the simulator's engine, all three cages filled,
// and writes them into a pseudo-terminal on a 1 ms tick, each tick carrying
// the frames that fell due since the last, as a serial driver hands over what
// arrived since its last interrupt. Control frames from the tool are read and
// acknowledged like the unit does.
//
// Protocol on its standard streams: it prints the terminal's path, waits for
// a line on standard input, sends RATE x SECONDS frames, prints
//     sent FRAMES in MS ms, backlog BYTES
// (BYTES: the most that ever waited for the tool to read) and keeps the line
// open until standard input closes.
class Line_pacer
{
public:
    enum class Values
    {
        drifting, // slowly, as the simulator's do
        varying,  // every power and temperature changes in every frame
        flipping, // every colour-bearing field turns over in every frame
    };
    static const char *name(Values values);
    static bool parse(const char *text, Values &values);

    Line_pacer(int rate, int seconds, Values values);
    int run();

private:
    static constexpr int tick_ns = 1000000;

    void send_due(int64_t frames_due, int64_t now_ms);
    void set_state(int64_t frame);
    void exchange(int64_t now_ms);
    void note_backlog();

    const int frames_per_second;
    const int64_t frames_total;
    const Values values;
    const Unit_state base_state;
    const Unit_state flipped_state;
    Unit_engine engine;
    Pty_device pty;
    QByteArray pending;
    int64_t sent = 0;
    int64_t backlog_max = 0;
};

#endif
