#ifndef VELMAR_TOOLS_UNIT_STATE_H
#define VELMAR_TOOLS_UNIT_STATE_H

#include <array>
#include <cstdint>

// Everything a unit reports in its status message, as plain values. A
// default-constructed state is a healthy protocol 2.0 unit: SFP 1 Video with
// channel 1 Rx and channel 2 Tx, SFP 2 Ethernet, SFP Eth empty, every lock and
// link good, the Dante submodule present and fine at gain codes 32/32 and a
// -28 dBm threshold.
class Unit_state
{
public:
    enum Cage_type : uint8_t
    {
        no_module = 0,
        video = 1,
        ethernet = 2,
        other_module = 3
    };
    enum Direction : uint8_t
    {
        no_direction = 0,
        rx = 1,
        tx = 2,
        unassigned = 3
    };

    enum Cage_index
    {
        sfp_1 = 0,
        sfp_2 = 1,
        sfp_eth = 2,
        cage_count = 3
    };
    static constexpr int channel_count = 2;
    static constexpr int lock_count = 4;
    static constexpr int gain_count = 2;

    struct Cage
    {
        uint8_t type = no_module;
        std::array<uint8_t, channel_count> direction{{no_direction, no_direction}};
        // Tenths of a dBm, as on the wire, so that what is set is what is sent.
        std::array<int16_t, channel_count> power_tenths{{0, 0}};
        std::array<uint16_t, channel_count> wavelength_nm{{0, 0}};
        uint8_t temperature_code = 0; // 25 + 5 * code degrees C, 0..15
        std::array<bool, channel_count> channel_flag{{false, false}};
    };

    Unit_state();

    uint8_t version;

    bool rx_fault = false;
    bool tx_fault = false;
    bool overheat = false;
    std::array<bool, lock_count> lock{{true, true, true, true}};

    bool link_valid = true;
    bool link_f = true;
    bool link_p1 = true;
    bool link_p2 = true;

    std::array<Cage, cage_count> cages;

    bool dante_present = true;
    bool dante_system_ok = true;
    bool dante_sync_ok = true;
    bool dante_link_ok = true;
    bool dante_mic_local = false;
    std::array<bool, gain_count> dante_input_line{{false, false}};
    bool dante_invalid = false;
    std::array<uint8_t, gain_count> gain_code{{32, 32}};

    int8_t rx_threshold_dbm = -28;
};

#endif
