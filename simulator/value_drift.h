#ifndef VELMAR_SIMULATOR_VALUE_DRIFT_H
#define VELMAR_SIMULATOR_VALUE_DRIFT_H

#include <QtCore/QtGlobal>

class Unit_status;

// Slow, bounded wandering of the optical powers and module temperatures, so
// that a window watching the simulated unit visibly lives. It is a pure
// function of time: the set values stay the centre, and drift off reports
// them exactly.
class Value_drift
{
public:
    static constexpr int power_swing_tenths = 5; // +-0.5 dB
    static constexpr int temperature_swing = 1;  // one code, 5 degrees C

    static Unit_status apply(const Unit_status &state, qint64 elapsed_ms);

private:
    static int power_offset(int channel_index, qint64 elapsed_ms);
    static int temperature_offset(int cage, qint64 elapsed_ms);
};

#endif
