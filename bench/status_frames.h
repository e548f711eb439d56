#ifndef VELMAR_BENCH_STATUS_FRAMES_H
#define VELMAR_BENCH_STATUS_FRAMES_H

#include "protocol/unit_status.h"

#include <QtCore/QByteArray>
#include <QtCore/QVector>

// The statuses the benchmarks feed: a protocol 2.0 unit with all three cages
// filled and the Dante submodule present, which is the longest payload (38
// bytes) and the most labels to redraw.
class Status_frames
{
public:
    // The simulated unit's healthy unit with a module in every cage.
    static Unit_status full_unit();
    // full_unit() with every colour-bearing field turned the other way:
    // faults raised, locks and links lost, unknown modules with their channel
    // directions swapped, received powers under the threshold, every Dante
    // state bad and a version the window does not know.
    static Unit_status every_colour_flipped();

    static QByteArray payload(const Unit_status &status);
    static QByteArray frame(const Unit_status &status);

    // Length of the cycle of powers and temperatures drifting() goes through.
    static constexpr int cycle = 14;
    // count statuses of full_unit() in which every optical power and every
    // module temperature differs from the status before. With count a
    // multiple of cycle, that holds across the wrap as well.
    static QVector<Unit_status> drifting(int count);
    // count frames of random bytes; seeded, so every run feeds the same.
    static QByteArray noise(int count, unsigned seed);
    // Back-to-back copies of one frame, at least byte_count bytes in all.
    static QByteArray repeated(const QByteArray &frame, int byte_count);
};

#endif
