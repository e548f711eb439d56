#ifndef VELMAR_PROTOCOL_FRAME_RECEIVER_H
#define VELMAR_PROTOCOL_FRAME_RECEIVER_H

#include "protocol/frame.h"

#include <cstddef>
#include <cstdint>

// Finds frames in a byte stream, one byte at a time, on fixed buffers. The
// state outlives every chunk, so a frame may arrive split at any byte.
class Frame_receiver
{
public:
    enum State : uint8_t
    {
        wait_sync = 0,
        wait_length = 1,
        wait_payload = 2,
        wait_crc = 3
    };

    enum class Event : uint8_t
    {
        none,     // byte consumed, no frame ended
        crc_good, // a frame completed and its CRC matched; payload() holds it
        crc_bad,  // a frame completed and its CRC did not match
        dropped,  // a length byte the buffers cannot take: the frame was abandoned
    };

    explicit Frame_receiver(uint8_t sync_1 = frame::status_sync_1,
                            uint8_t sync_2 = frame::status_sync_2);

    Event push(uint8_t byte);

    const uint8_t *payload() const { return payload_buffer; }
    // Payload length of the frame that completed last.
    std::size_t completed_length() const { return completed_payload_length; }
    State state() const { return static_cast<State>(rx_state); }

private:
    void on_sync_byte(uint8_t byte);
    Event on_length_byte(uint8_t byte);
    void on_payload_byte(uint8_t byte);
    Event on_crc_byte(uint8_t byte);
    Event complete_frame();

    const uint8_t sync_first;
    const uint8_t sync_second;

    uint8_t rx_state = wait_sync;
    uint8_t sync_bytes[frame::sync_size] = {};
    uint8_t sync_count = 0;
    uint8_t payload_length = 0;
    uint8_t payload_index = 0;
    uint8_t payload_buffer[frame::max_payload] = {};
    uint8_t frame_buffer[frame::max_covered] = {};
    uint8_t crc_bytes[frame::crc_size] = {};
    uint8_t crc_index = 0;
    uint8_t completed_payload_length = 0;
};

#endif
