#ifndef VELMAR_PROTOCOL_STATUS_LIMITS_H
#define VELMAR_PROTOCOL_STATUS_LIMITS_H

#include "protocol/gain_law.h"
#include "protocol/status_layout.h"
#include "protocol/unit_status.h"

#include <limits>
#include <type_traits>

// The values a unit can send at all, as the fields of its status message
// bound them. Whoever reads a status back from somewhere else (a record)
// refuses what lies outside: such a value came from no unit.
class Status_limits
{
    using Power = decltype(Unit_status::Channel::power_tenths);
    using Wavelength = decltype(Unit_status::Channel::wavelength_nm);
    using Threshold = decltype(Unit_status::threshold_dbm);
    using Gain_code = std::remove_const_t<decltype(Gain_law::initial_code)>;

public:
    // A power travels as signed tenths of a dBm in 16 bits.
    static constexpr int min_power_tenths = std::numeric_limits<Power>::min();
    static constexpr int max_power_tenths = std::numeric_limits<Power>::max();
    // Nanometres, unsigned 16 bits.
    static constexpr int max_wavelength_nm = std::numeric_limits<Wavelength>::max();
    // The Rx-power threshold, whole dBm in a signed byte.
    static constexpr int min_threshold_dbm = std::numeric_limits<Threshold>::min();
    static constexpr int max_threshold_dbm = std::numeric_limits<Threshold>::max();
    // A module temperature is a 4-bit code on a 5 degree step above a base.
    static constexpr int min_temperature_c = status::temperature_base;
    static constexpr int max_temperature_c =
        status::temperature_base + status::temperature_mask * status::temperature_step;
    // A gain is a code byte on the gain law's grid.
    static constexpr int max_gain_code = std::numeric_limits<Gain_code>::max();
    static constexpr double min_gain_db = Gain_law::min_db;
    static constexpr double max_gain_db = Gain_law::to_db(max_gain_code);
};

#endif
