#include "protocol/status_encoder.h"

#include "protocol/status_layout.h"
#include "protocol/unit_status.h"

#include <algorithm>

namespace {

constexpr int temperature_code_max = status::temperature_mask;

uint8_t bit_if(bool set, int position)
{
    return set ? static_cast<uint8_t>(1u << position) : uint8_t{0};
}

uint8_t direction_bits(Unit_status::Direction direction, int shift)
{
    return static_cast<uint8_t>((static_cast<uint8_t>(direction) & status::direction_mask)
                                << shift);
}

} // namespace

QByteArray Status_encoder::payload(const Unit_status &status, Extras extras)
{
    QByteArray payload;
    payload.reserve(static_cast<int>(payload_size(status)));
    payload.append(static_cast<char>(status.version));
    payload.append(flags_byte(status));
    payload.append(links_byte(status, extras.acknowledge));
    payload.append(static_cast<char>(cage_types(status)));
    for (int cage = 0; cage < Unit_status::cage_count; ++cage) {
        if (status.cages[cage].present())
            append_block(payload, status, cage);
    }
    if (status::has_dante_region(status.version))
        append_dante(payload, status, extras.dante_invalid);
    return payload;
}

std::size_t Status_encoder::payload_size(const Unit_status &status)
{
    return status::payload_size(status.version, cage_types(status));
}

uint8_t Status_encoder::temperature_code(int temperature_c)
{
    const int code = (temperature_c - status::temperature_base) / status::temperature_step;
    return static_cast<uint8_t>(std::clamp(code, 0, temperature_code_max));
}

char Status_encoder::flags_byte(const Unit_status &status)
{
    uint8_t byte = 0;
    for (int row = 0; row < Unit_status::lock_count; ++row)
        byte |= bit_if(status.locks[row], row);
    byte |= bit_if(status.overheat, status::overheat_bit);
    byte |= bit_if(status.tx_fault, status::tx_fault_bit);
    byte |= bit_if(status.rx_fault, status::rx_fault_bit);
    return static_cast<char>(byte);
}

char Status_encoder::links_byte(const Unit_status &status, bool acknowledge)
{
    // The valid bit goes out whatever the version; a 1.0 receiver ignores it.
    return static_cast<char>(
        bit_if(status.link_f, status::link_f_bit) | bit_if(status.link_p1, status::link_p1_bit) |
        bit_if(status.link_p2, status::link_p2_bit) |
        bit_if(status.links_valid, status::link_valid_bit) | bit_if(acknowledge, status::ack_bit));
}

uint8_t Status_encoder::cage_types(const Unit_status &status)
{
    uint8_t byte = 0;
    for (int cage = 0; cage < Unit_status::cage_count; ++cage) {
        const auto type = static_cast<uint8_t>(status.cages[cage].type) & status::cage_type_mask;
        byte |= static_cast<uint8_t>(type << (cage * status::cage_type_bits));
    }
    return byte;
}

void Status_encoder::append_block(QByteArray &payload, const Unit_status &status, int cage)
{
    const Unit_status::Cage &record = status.cages[cage];
    const auto &channels = record.channels;
    payload.append(
        static_cast<char>(temperature_code(record.temperature_c) |
                          direction_bits(channels[0].direction, status::direction_1_shift) |
                          direction_bits(channels[1].direction, status::direction_2_shift)));
    for (const Unit_status::Channel &channel : channels)
        append_big_endian(payload, static_cast<uint16_t>(channel.power_tenths));
    if (!status::has_long_blocks(status.version))
        return;
    for (const Unit_status::Channel &channel : channels)
        append_big_endian(payload, channel.wavelength_nm);
    payload.append(static_cast<char>(bit_if(channels[0].flag, 0) | bit_if(channels[1].flag, 1)));
}

void Status_encoder::append_dante(QByteArray &payload, const Unit_status &status, bool invalid)
{
    using S = Unit_status;
    const S::Dante &dante = status.dante;
    const uint8_t head = bit_if(dante.present, status::dante_present_bit) |
                         bit_if(dante.system == S::Dante_state::ok, status::dante_system_bit) |
                         bit_if(dante.sync == S::Dante_state::ok, status::dante_sync_bit) |
                         bit_if(dante.link == S::Dante_state::ok, status::dante_link_bit) |
                         bit_if(dante.mic == S::Mic_type::local, status::dante_mic_type_bit) |
                         bit_if(dante.inputs[0] == S::Input_type::line, status::dante_input_0_bit) |
                         bit_if(dante.inputs[1] == S::Input_type::line, status::dante_input_1_bit) |
                         bit_if(invalid, status::dante_invalid_bit);
    payload.append(static_cast<char>(head));
    payload.append(static_cast<char>(dante.gain_codes[0]));
    payload.append(static_cast<char>(dante.gain_codes[1]));
    payload.append(static_cast<char>(status.threshold_dbm));
}

void Status_encoder::append_big_endian(QByteArray &payload, uint16_t value)
{
    payload.append(static_cast<char>(value >> 8));
    payload.append(static_cast<char>(value & 0xFFu));
}
