#include "simulator/value_drift.h"

#include "protocol/status_layout.h"
#include "protocol/unit_status.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double two_pi = 6.283185307179586;
// Different periods per channel keep the values from moving in step.
constexpr double power_period_ms = 23000.0;
constexpr double power_period_step_ms = 7000.0;
constexpr double temperature_period_ms = 97000.0;
constexpr double temperature_raise_level = 0.7; // share of the cycle spent one code up: ~25 %
constexpr int hottest_c =
    status::temperature_base + status::temperature_step * status::temperature_mask;

double wave(qint64 elapsed_ms, double period_ms, double phase)
{
    return std::sin(two_pi * static_cast<double>(elapsed_ms) / period_ms + phase);
}

int16_t saturated(int value)
{
    return static_cast<int16_t>(std::clamp<int>(value, std::numeric_limits<int16_t>::min(),
                                                std::numeric_limits<int16_t>::max()));
}

} // namespace

Unit_status Value_drift::apply(const Unit_status &state, qint64 elapsed_ms)
{
    Unit_status drifted = state;
    for (int cage = 0; cage < Unit_status::cage_count; ++cage) {
        Unit_status::Cage &module = drifted.cages[cage];
        for (int channel = 0; channel < Unit_status::channel_count; ++channel) {
            const int index = cage * Unit_status::channel_count + channel;
            int16_t &power = module.channels[channel].power_tenths;
            power = saturated(power + power_offset(index, elapsed_ms));
        }
        module.temperature_c = std::min(
            module.temperature_c + status::temperature_step * temperature_offset(cage, elapsed_ms),
            hottest_c);
    }
    return drifted;
}

int Value_drift::power_offset(int channel_index, qint64 elapsed_ms)
{
    const double period = power_period_ms + power_period_step_ms * channel_index;
    return static_cast<int>(
        std::lround(power_swing_tenths * wave(elapsed_ms, period, channel_index)));
}

int Value_drift::temperature_offset(int cage, qint64 elapsed_ms)
{
    return wave(elapsed_ms, temperature_period_ms, cage * 2.0) > temperature_raise_level
               ? temperature_swing
               : 0;
}
