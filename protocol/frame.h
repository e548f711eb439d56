#ifndef VELMAR_PROTOCOL_FRAME_H
#define VELMAR_PROTOCOL_FRAME_H

#include <cstddef>
#include <cstdint>

// Wire constants of the frame that carries every message in both directions:
// two sync bytes, a length byte, the payload, then the CRC-16 high byte first.
namespace frame {

constexpr uint8_t status_sync_1 = 0x50;  // "P": unit -> tool
constexpr uint8_t status_sync_2 = 0x52;  // "R"
constexpr uint8_t control_sync_1 = 0x52; // "R": tool -> unit
constexpr uint8_t control_sync_2 = 0x50; // "P"

constexpr std::size_t sync_size = 2;
constexpr std::size_t length_offset = 2;
constexpr std::size_t header_size = 3; // sync pair and length byte
constexpr std::size_t crc_size = 2;
constexpr std::size_t max_payload = 44;                        // the receiver's payload buffer
constexpr std::size_t max_covered = header_size + max_payload; // bytes under the CRC
constexpr std::size_t max_frame = max_covered + crc_size;

} // namespace frame

#endif
