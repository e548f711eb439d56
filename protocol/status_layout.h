#ifndef VELMAR_PROTOCOL_STATUS_LAYOUT_H
#define VELMAR_PROTOCOL_STATUS_LAYOUT_H

#include "protocol/protocol_version.h"
#include "protocol/unit_status.h"

#include <cstddef>
#include <cstdint>

// Offsets and bit positions of the unit's status payload. The layout grows
// with the protocol version: 0x11 lengthens the SFP blocks and adds the
// link-valid bit, 0x20 appends the Dante region and the Rx threshold.
namespace status {

constexpr std::size_t version_offset = 0;
constexpr std::size_t flags_offset = 1;
constexpr std::size_t link_offset = 2;
constexpr std::size_t cage_types_offset = 3;
constexpr std::size_t first_block_offset = 4;
constexpr std::size_t fixed_part_size = 4;

// Byte 1
// bits 0..3: the locks of rows 1 to 4
constexpr int overheat_bit = 4;
constexpr int tx_fault_bit = 5;
constexpr int rx_fault_bit = 6;

// Byte 2
constexpr int link_f_bit = 0;
constexpr int link_p1_bit = 1;
constexpr int link_p2_bit = 2;
constexpr int link_valid_bit = 3;
constexpr int ack_bit = 4;

// Byte 3: two bits per cage, SFP 1 lowest
constexpr int cage_type_bits = 2;
constexpr uint8_t cage_type_mask = 0x03;

// SFP block
constexpr std::size_t short_block_size = 5; // below 0x11
constexpr std::size_t long_block_size = 10; // 0x11 and later
constexpr uint8_t temperature_mask = 0x0F;
constexpr int temperature_base = 25;
constexpr int temperature_step = 5;
constexpr int direction_1_shift = 4;
constexpr int direction_2_shift = 6;
constexpr uint8_t direction_mask = 0x03;
constexpr std::size_t power_1_offset = 1;
constexpr std::size_t power_2_offset = 3;
constexpr std::size_t wavelength_1_offset = 5;
constexpr std::size_t wavelength_2_offset = 7;
constexpr std::size_t channel_flags_offset = 9;

// Dante region (0x20 and later): status byte, two gain codes, threshold
constexpr std::size_t dante_region_size = 4;
constexpr int dante_present_bit = 0;
constexpr int dante_system_bit = 1;
constexpr int dante_sync_bit = 2;
constexpr int dante_link_bit = 3;
constexpr int dante_mic_type_bit = 4;
constexpr int dante_input_0_bit = 5;
constexpr int dante_input_1_bit = 6;
constexpr int dante_invalid_bit = 7;
constexpr std::size_t dante_gain_0_offset = 1;
constexpr std::size_t dante_gain_1_offset = 2;
constexpr std::size_t rx_threshold_offset = 3;

constexpr bool bit(uint8_t byte, int position)
{
    return ((byte >> position) & 1u) != 0;
}

constexpr std::size_t sfp_block_size(uint8_t version)
{
    return version < Protocol_version::v1_1 ? short_block_size : long_block_size;
}

constexpr bool has_dante_region(uint8_t version)
{
    return version >= Protocol_version::v2_0;
}

constexpr uint8_t cage_type(uint8_t cage_types, int cage)
{
    return static_cast<uint8_t>((cage_types >> (cage * cage_type_bits)) & cage_type_mask);
}

int present_cage_count(uint8_t cage_types);

constexpr bool has_long_blocks(uint8_t version)
{
    return version >= Protocol_version::v1_1;
}

// Size that a payload's own version and cage bits call for; needs the first
// fixed_part_size bytes.
std::size_t expected_payload_size(const uint8_t *payload);
std::size_t payload_size(uint8_t version, uint8_t cage_types);

// True when a payload of the given length holds every byte the decoder will
// read. Anything shorter would be decoded from stale buffer contents.
bool payload_is_complete(const uint8_t *payload, std::size_t length);

} // namespace status

#endif
