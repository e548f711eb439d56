#include "protocol/status_decoder.h"

#include "protocol/status_layout.h"
#include "protocol/unit_status.h"

namespace {

int16_t read_signed_16(const uint8_t *bytes)
{
    return static_cast<int16_t>(static_cast<uint16_t>((bytes[0] << 8) | bytes[1]));
}

uint16_t read_unsigned_16(const uint8_t *bytes)
{
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

// The Dante flags are "set: good" bits, reported only while the submodule is
// there; the enumerations count 1 for the clear bit and 2 for the set one.
template <typename Enum> Enum from_bit(uint8_t byte, int position)
{
    return static_cast<Enum>(status::bit(byte, position) ? 2 : 1);
}

Unit_status::Direction direction(uint8_t head, int shift)
{
    return static_cast<Unit_status::Direction>((head >> shift) & status::direction_mask);
}

} // namespace

Status_decoder::Outcome Status_decoder::decode(const uint8_t *payload, std::size_t length,
                                               Unit_status &status)
{
    Outcome outcome;
    outcome.acknowledged =
        length > status::link_offset && status::bit(payload[status::link_offset], status::ack_bit);
    if (!status::payload_is_complete(payload, length))
        return outcome;
    outcome.decoded = true;
    status.version = payload[status::version_offset];
    decode_flags(payload[status::flags_offset], status);
    decode_links(payload[status::link_offset], status);
    const std::size_t dante_offset = decode_cages(payload, status);
    if (status::has_dante_region(status.version)) {
        const uint8_t *region = payload + dante_offset;
        decode_dante(region, status);
        status.threshold_dbm = static_cast<int8_t>(region[status::rx_threshold_offset]);
        outcome.dante_invalid = status::bit(region[0], status::dante_invalid_bit);
    }
    return outcome;
}

void Status_decoder::decode_flags(uint8_t byte, Unit_status &status)
{
    for (int row = 0; row < Unit_status::lock_count; ++row)
        status.locks[row] = status::bit(byte, row);
    status.overheat = status::bit(byte, status::overheat_bit);
    status.tx_fault = status::bit(byte, status::tx_fault_bit);
    status.rx_fault = status::bit(byte, status::rx_fault_bit);
}

void Status_decoder::decode_links(uint8_t byte, Unit_status &status)
{
    status.links_valid =
        !status::has_long_blocks(status.version) || status::bit(byte, status::link_valid_bit);
    status.link_f = status::bit(byte, status::link_f_bit);
    status.link_p1 = status::bit(byte, status::link_p1_bit);
    status.link_p2 = status::bit(byte, status::link_p2_bit);
}

// Returns the offset after the last block, where the Dante region starts.
std::size_t Status_decoder::decode_cages(const uint8_t *payload, Unit_status &status)
{
    const uint8_t types = payload[status::cage_types_offset];
    const std::size_t block_size = status::sfp_block_size(status.version);
    std::size_t position = status::first_block_offset;
    for (int cage = 0; cage < Unit_status::cage_count; ++cage) {
        Unit_status::Cage &record = status.cages[cage];
        record.type = static_cast<Unit_status::Cage_type>(status::cage_type(types, cage));
        if (record.present()) {
            decode_block(payload + position, status.version, cage, status);
            position += block_size;
        } else {
            for (Unit_status::Channel &channel : record.channels)
                channel.direction = Unit_status::Direction::none;
        }
    }
    return position;
}

void Status_decoder::decode_block(const uint8_t *block, uint8_t version, int cage,
                                  Unit_status &status)
{
    Unit_status::Cage &record = status.cages[cage];
    const uint8_t head = block[0];
    record.temperature_c =
        (head & status::temperature_mask) * status::temperature_step + status::temperature_base;
    const int shifts[] = {status::direction_1_shift, status::direction_2_shift};
    const std::size_t powers[] = {status::power_1_offset, status::power_2_offset};
    const std::size_t wavelengths[] = {status::wavelength_1_offset, status::wavelength_2_offset};
    const bool long_block = status::has_long_blocks(version);
    for (int index = 0; index < Unit_status::channel_count; ++index) {
        Unit_status::Channel &channel = record.channels[index];
        channel.direction = direction(head, shifts[index]);
        channel.power_tenths = read_signed_16(block + powers[index]);
        channel.wavelength_nm = long_block ? read_unsigned_16(block + wavelengths[index]) : 0;
        channel.flag = long_block && status::bit(block[status::channel_flags_offset], index);
    }
}

void Status_decoder::decode_dante(const uint8_t *region, Unit_status &status)
{
    using S = Unit_status;
    S::Dante &dante = status.dante;
    const uint8_t head = region[0];
    dante.present = status::bit(head, status::dante_present_bit);
    if (!dante.present) {
        dante.system = dante.sync = dante.link = S::Dante_state::not_reported;
        dante.mic = S::Mic_type::not_reported;
        dante.inputs = {{S::Input_type::not_reported, S::Input_type::not_reported}};
        return;
    }
    dante.system = from_bit<S::Dante_state>(head, status::dante_system_bit);
    dante.sync = from_bit<S::Dante_state>(head, status::dante_sync_bit);
    dante.link = from_bit<S::Dante_state>(head, status::dante_link_bit);
    dante.mic = from_bit<S::Mic_type>(head, status::dante_mic_type_bit);
    dante.inputs[0] = from_bit<S::Input_type>(head, status::dante_input_0_bit);
    dante.inputs[1] = from_bit<S::Input_type>(head, status::dante_input_1_bit);
    dante.gain_codes[0] = region[status::dante_gain_0_offset];
    dante.gain_codes[1] = region[status::dante_gain_1_offset];
    dante.gains_reported = true;
}
