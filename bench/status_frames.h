#ifndef VELMAR_BENCH_STATUS_FRAMES_H
#define VELMAR_BENCH_STATUS_FRAMES_H

#include "tools/unit_state.h"

#include <QtCore/QByteArray>
#include <QtCore/QVector>

// The status frames the benchmarks feed: a protocol 2.0 unit with all three
// cages filled and the Dante submodule present, which is the longest payload
// (38 bytes) and the most labels to redraw.
class Status_frames
{
public:
    // Every cage holds a module, every indicator is good.
    static Unit_state full_unit();
    // full_unit() with every colour-bearing field turned the other way:
    // faults raised, locks and links lost, unknown modules with their channel
    // directions swapped, received powers under the threshold, every Dante
    // state bad and a version the window does not know.
    static Unit_state every_colour_flipped();

    static QByteArray frame(const Unit_state &state);

    // Length of the cycle of powers and temperatures drifting() goes through.
    static constexpr int cycle = 14;
    // count frames of full_unit() in which every optical power and every
    // module temperature differs from the frame before. With count a
    // multiple of cycle, that holds across the wrap as well.
    static QVector<QByteArray> drifting(int count);
    // Frame index of drifting(): base with its powers and temperatures moved.
    static void vary(Unit_state &state, const Unit_state &base, int index);
    // count frames of random bytes; seeded, so every run feeds the same.
    static QByteArray noise(int count, unsigned seed);
    // Back-to-back copies of one frame, at least byte_count bytes in all.
    static QByteArray repeated(const QByteArray &frame, int byte_count);
};

#endif
