#include "tools/unit_state.h"

#include "model/status_layout.h"

namespace {

constexpr uint16_t wavelength_1310 = 1310;
constexpr uint16_t wavelength_1550 = 1550;
constexpr uint16_t wavelength_850 = 850;

Unit_state::Cage make_cage(uint8_t type, uint8_t direction_1, uint8_t direction_2, int16_t power_1,
                           int16_t power_2, uint16_t wavelength_1, uint16_t wavelength_2,
                           uint8_t temperature_code)
{
    Unit_state::Cage cage;
    cage.type = type;
    cage.direction = {{direction_1, direction_2}};
    cage.power_tenths = {{power_1, power_2}};
    cage.wavelength_nm = {{wavelength_1, wavelength_2}};
    cage.temperature_code = temperature_code;
    return cage;
}

} // namespace

Unit_state::Unit_state() : version(status::version_2_0)
{
    // Received powers sit well above the default threshold, so a healthy unit
    // shows no red; the empty SFP Eth cage still holds a plausible module for
    // whoever plugs one in with a single command.
    cages[sfp_1] = make_cage(video, rx, tx, -142, -25, wavelength_1310, wavelength_1550, 3);
    cages[sfp_2] = make_cage(ethernet, tx, rx, -40, -98, wavelength_1310, wavelength_1550, 4);
    cages[sfp_eth] = make_cage(no_module, tx, rx, -51, -114, wavelength_850, wavelength_850, 2);
}
