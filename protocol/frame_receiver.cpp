#include "protocol/frame_receiver.h"

#include "protocol/crc16.h"

Frame_receiver::Frame_receiver(uint8_t sync_1, uint8_t sync_2)
    : sync_first(sync_1), sync_second(sync_2)
{
}

Frame_receiver::Event Frame_receiver::push(uint8_t byte)
{
    switch (rx_state) {
    case wait_sync:
        on_sync_byte(byte);
        return Event::none;
    case wait_length:
        return on_length_byte(byte);
    case wait_payload:
        on_payload_byte(byte);
        return Event::none;
    case wait_crc:
        return on_crc_byte(byte);
    }
    return Event::none;
}

void Frame_receiver::on_sync_byte(uint8_t byte)
{
    sync_bytes[sync_count] = byte;
    if (sync_bytes[0] != sync_first)
        return;
    ++sync_count;
    if (sync_count < frame::sync_size)
        return;
    // A first sync byte followed by anything else is dropped with that byte;
    // the pair is deliberately not re-examined for a new start.
    if (sync_bytes[1] == sync_second) {
        frame_buffer[0] = sync_first;
        frame_buffer[1] = sync_second;
        rx_state = wait_length;
    }
    sync_bytes[0] = 0;
    sync_bytes[1] = 0;
    sync_count = 0;
}

Frame_receiver::Event Frame_receiver::on_length_byte(uint8_t byte)
{
    // A length the buffers cannot hold cannot be a frame of ours: give it up
    // at once and look for the next sync pair from the following byte.
    if (byte == 0 || byte > frame::max_payload) {
        rx_state = wait_sync;
        return Event::dropped;
    }
    payload_length = byte;
    frame_buffer[frame::length_offset] = byte;
    payload_index = 0;
    rx_state = wait_payload;
    return Event::none;
}

void Frame_receiver::on_payload_byte(uint8_t byte)
{
    payload_buffer[payload_index] = byte;
    frame_buffer[frame::header_size + payload_index] = byte;
    ++payload_index;
    if (payload_index == payload_length) {
        payload_index = 0;
        rx_state = wait_crc;
    }
}

Frame_receiver::Event Frame_receiver::on_crc_byte(uint8_t byte)
{
    crc_bytes[crc_index] = byte;
    ++crc_index;
    if (crc_index < frame::crc_size)
        return Event::none;
    return complete_frame();
}

Frame_receiver::Event Frame_receiver::complete_frame()
{
    const uint16_t computed = crc16(frame_buffer, frame::header_size + payload_length);
    const uint16_t received = static_cast<uint16_t>((crc_bytes[0] << 8) | crc_bytes[1]);

    completed_payload_length = payload_length;
    crc_index = 0;
    rx_state = wait_sync;
    payload_length = 0;
    return computed == received ? Event::crc_good : Event::crc_bad;
}
