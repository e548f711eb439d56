#include "tools/status_encoder.h"

#include "model/status_layout.h"
#include "tools/unit_state.h"

#include <algorithm>

namespace {

uint8_t bit_if(bool set, int position)
{
    return set ? static_cast<uint8_t>(1u << position) : uint8_t{0};
}

} // namespace

QByteArray Status_encoder::encode(const Unit_state &state, bool acknowledge, int length_change)
{
    QByteArray payload;
    payload.reserve(static_cast<int>(payload_size(state)) + std::max(length_change, 0));
    payload.append(static_cast<char>(state.version));
    payload.append(flags_byte(state));
    payload.append(link_byte(state, acknowledge));
    payload.append(cage_types_byte(state));
    for (int cage = 0; cage < Unit_state::cage_count; ++cage) {
        if (state.cages[cage].type != Unit_state::no_module)
            append_cage(payload, state, cage);
    }
    if (status::has_dante_region(state.version))
        append_dante(payload, state);
    apply_length_change(payload, length_change);
    return payload;
}

std::size_t Status_encoder::payload_size(const Unit_state &state)
{
    const char types = cage_types_byte(state);
    std::size_t size =
        status::fixed_part_size +
        status::sfp_block_size(state.version) *
            static_cast<std::size_t>(status::present_cage_count(static_cast<uint8_t>(types)));
    if (status::has_dante_region(state.version))
        size += status::dante_region_size;
    return size;
}

char Status_encoder::flags_byte(const Unit_state &state)
{
    uint8_t byte = 0;
    for (int row = 0; row < Unit_state::lock_count; ++row)
        byte |= bit_if(state.lock[row], row);
    byte |= bit_if(state.overheat, status::overheat_bit);
    byte |= bit_if(state.tx_fault, status::tx_fault_bit);
    byte |= bit_if(state.rx_fault, status::rx_fault_bit);
    return static_cast<char>(byte);
}

char Status_encoder::link_byte(const Unit_state &state, bool acknowledge)
{
    // The link-valid bit goes out whatever the version: an old unit's
    // receiver is expected to ignore it, and a test may want to see that.
    const uint8_t byte =
        bit_if(state.link_f, status::link_f_bit) | bit_if(state.link_p1, status::link_p1_bit) |
        bit_if(state.link_p2, status::link_p2_bit) |
        bit_if(state.link_valid, status::link_valid_bit) | bit_if(acknowledge, status::ack_bit);
    return static_cast<char>(byte);
}

char Status_encoder::cage_types_byte(const Unit_state &state)
{
    uint8_t byte = 0;
    for (int cage = 0; cage < Unit_state::cage_count; ++cage) {
        const uint8_t type = state.cages[cage].type & status::cage_type_mask;
        byte |= static_cast<uint8_t>(type << (cage * status::cage_type_bits));
    }
    return static_cast<char>(byte);
}

void Status_encoder::append_cage(QByteArray &payload, const Unit_state &state, int cage_index)
{
    const Unit_state::Cage &cage = state.cages[cage_index];
    const uint8_t first = static_cast<uint8_t>(
        (cage.temperature_code & status::temperature_mask) |
        ((cage.direction[0] & status::direction_mask) << status::direction_1_shift) |
        ((cage.direction[1] & status::direction_mask) << status::direction_2_shift));
    payload.append(static_cast<char>(first));
    append_big_endian(payload, static_cast<uint16_t>(cage.power_tenths[0]));
    append_big_endian(payload, static_cast<uint16_t>(cage.power_tenths[1]));
    if (status::sfp_block_size(state.version) == status::short_block_size)
        return;
    append_big_endian(payload, cage.wavelength_nm[0]);
    append_big_endian(payload, cage.wavelength_nm[1]);
    payload.append(
        static_cast<char>(bit_if(cage.channel_flag[0], 0) | bit_if(cage.channel_flag[1], 1)));
}

void Status_encoder::append_dante(QByteArray &payload, const Unit_state &state)
{
    const uint8_t byte = bit_if(state.dante_present, status::dante_present_bit) |
                         bit_if(state.dante_system_ok, status::dante_system_bit) |
                         bit_if(state.dante_sync_ok, status::dante_sync_bit) |
                         bit_if(state.dante_link_ok, status::dante_link_bit) |
                         bit_if(state.dante_mic_local, status::dante_mic_type_bit) |
                         bit_if(state.dante_input_line[0], status::dante_input_0_bit) |
                         bit_if(state.dante_input_line[1], status::dante_input_1_bit) |
                         bit_if(state.dante_invalid, status::dante_invalid_bit);
    payload.append(static_cast<char>(byte));
    payload.append(static_cast<char>(state.gain_code[0]));
    payload.append(static_cast<char>(state.gain_code[1]));
    payload.append(static_cast<char>(state.rx_threshold_dbm));
}

void Status_encoder::append_big_endian(QByteArray &payload, uint16_t value)
{
    payload.append(static_cast<char>(value >> 8));
    payload.append(static_cast<char>(value & 0xFFu));
}

void Status_encoder::apply_length_change(QByteArray &payload, int length_change)
{
    if (length_change < 0) {
        payload.chop(std::min(-length_change, static_cast<int>(payload.size())));
        return;
    }
    const int room = static_cast<int>(max_payload_length) - payload.size();
    payload.append(std::min(length_change, room), '\0');
}
