#ifndef VELMAR_PROTOCOL_UNIT_STATUS_H
#define VELMAR_PROTOCOL_UNIT_STATUS_H

#include "protocol/gain_law.h"
#include "protocol/protocol_version.h"

#include <QtCore/QMetaType>

#include <array>
#include <cstdint>

// Everything a unit has reported in its status messages, as plain values.
// A message does not carry everything (an older version has no Dante block,
// an empty cage no SFP block); what the last message left out keeps the
// value an earlier one gave it.
class Unit_status
{
public:
    enum class Cage_type : uint8_t
    {
        none = 0, // no module: the cage has no block in the message
        video = 1,
        ethernet = 2,
        other = 3,
    };

    enum class Direction : uint8_t
    {
        none = 0,
        rx = 1, // the module receives light; the unit outputs that signal
        tx = 2,
        unassigned = 3,
    };

    // The Dante submodule's system, sync and link states.
    enum class Dante_state : uint8_t
    {
        not_reported = 0, // the submodule is absent
        fault = 1,
        ok = 2,
    };

    enum class Mic_type : uint8_t
    {
        not_reported = 0,
        remote = 1,
        local = 2,
    };

    enum class Input_type : uint8_t
    {
        not_reported = 0,
        microphone = 1,
        line = 2,
    };

    static constexpr int cage_count = 3;
    static constexpr int channel_count = 2;
    static constexpr int lock_count = 4;
    static constexpr int input_count = 2;
    static constexpr int link_count = 3;
    static constexpr int dante_state_count = 3;

    struct Channel
    {
        Direction direction = Direction::none;
        // Tenths of a dBm, as on the wire: the received power of an Rx
        // channel, the transmitted power of a Tx channel.
        int16_t power_tenths = 0;
        uint16_t wavelength_nm = 0; // 0 below 1.1
        bool flag = false;          // reported from 1.1 on, not shown

        bool operator==(const Channel &other) const;
        bool operator!=(const Channel &other) const { return !(*this == other); }
    };

    struct Cage
    {
        Cage_type type = Cage_type::none;
        int temperature_c = 0;
        std::array<Channel, channel_count> channels{};

        bool present() const { return type != Cage_type::none; }
        bool operator==(const Cage &other) const;
        bool operator!=(const Cage &other) const { return !(*this == other); }
    };

    struct Dante
    {
        bool present = false;
        Dante_state system = Dante_state::not_reported;
        Dante_state sync = Dante_state::not_reported;
        Dante_state link = Dante_state::not_reported;
        Mic_type mic = Mic_type::not_reported;
        std::array<Input_type, input_count> inputs{
            {Input_type::not_reported, Input_type::not_reported}};
        // The gains as set in the unit; kept while the submodule is absent.
        std::array<uint8_t, input_count> gain_codes{
            {Gain_law::initial_code, Gain_law::initial_code}};
        // Whether the unit has ever reported the gains: until then they are
        // the initial codes, which nobody should take for the unit's.
        bool gains_reported = false;

        Dante_state state(int kind) const;

        bool operator==(const Dante &other) const;
        bool operator!=(const Dante &other) const { return !(*this == other); }
    };

    enum Cage_index
    {
        sfp_1 = 0,
        sfp_2 = 1,
        sfp_eth = 2,
    };

    enum Link
    {
        link_index_f = 0,
        link_index_p1 = 1,
        link_index_p2 = 2,
    };

    // The Dante submodule's three states, in the order its panel and records list them.
    enum Dante_state_kind
    {
        dante_system = 0,
        dante_sync = 1,
        dante_link = 2,
    };

    uint8_t version = Protocol_version::assumed;

    bool rx_fault = false;
    bool tx_fault = false;
    bool overheat = false;
    std::array<bool, lock_count> locks{};

    // Below 1.1 the link states are always valid.
    bool links_valid = false;
    bool link_f = false;
    bool link_p1 = false;
    bool link_p2 = false;

    std::array<Cage, cage_count> cages{};
    Dante dante;
    int8_t threshold_dbm = 0; // the unit's Rx-power fault threshold, from 2.0 on

    // Link F, P1 or P2 by Link.
    bool link_up(int link) const;

    bool operator==(const Unit_status &other) const;
    bool operator!=(const Unit_status &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(Unit_status)

#endif
