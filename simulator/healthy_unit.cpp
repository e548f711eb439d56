#include "simulator/healthy_unit.h"

namespace {

using S = Unit_status;

constexpr uint16_t wavelength_1310 = 1310;
constexpr uint16_t wavelength_1550 = 1550;
constexpr uint16_t wavelength_850 = 850;

S::Cage make_cage(S::Cage_type type, S::Direction direction_1, S::Direction direction_2,
                  int16_t power_1, int16_t power_2, uint16_t wavelength_1, uint16_t wavelength_2,
                  int temperature_c)
{
    S::Cage cage;
    cage.type = type;
    cage.temperature_c = temperature_c;
    cage.channels[0] = {direction_1, power_1, wavelength_1, false};
    cage.channels[1] = {direction_2, power_2, wavelength_2, false};
    return cage;
}

} // namespace

Unit_status healthy_unit()
{
    S unit;
    unit.version = Protocol_version::v2_0;
    unit.locks = {{true, true, true, true}};
    unit.links_valid = unit.link_f = unit.link_p1 = unit.link_p2 = true;
    // Received powers sit well above the default threshold, so a healthy unit
    // shows no red; the empty SFP Eth cage still holds a plausible module for
    // whoever plugs one in with a single command.
    unit.cages[S::sfp_1] = make_cage(S::Cage_type::video, S::Direction::rx, S::Direction::tx, -142,
                                     -25, wavelength_1310, wavelength_1550, 40);
    unit.cages[S::sfp_2] = make_cage(S::Cage_type::ethernet, S::Direction::tx, S::Direction::rx,
                                     -40, -98, wavelength_1310, wavelength_1550, 45);
    unit.cages[S::sfp_eth] = make_cage(S::Cage_type::none, S::Direction::tx, S::Direction::rx, -51,
                                       -114, wavelength_850, wavelength_850, 35);
    S::Dante &dante = unit.dante;
    dante.present = true;
    dante.system = dante.sync = dante.link = S::Dante_state::ok;
    dante.mic = S::Mic_type::remote;
    dante.inputs = {{S::Input_type::microphone, S::Input_type::microphone}};
    dante.gain_codes = {{32, 32}};
    unit.threshold_dbm = -28;
    return unit;
}
