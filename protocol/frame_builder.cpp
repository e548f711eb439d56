#include "protocol/frame_builder.h"

#include "protocol/crc16.h"
#include "protocol/frame.h"

QByteArray Frame_builder::build(uint8_t sync_1, uint8_t sync_2, const uint8_t *payload,
                                std::size_t length)
{
    QByteArray packet;
    packet.reserve(static_cast<int>(frame::header_size + length + frame::crc_size));
    packet.append(static_cast<char>(sync_1));
    packet.append(static_cast<char>(sync_2));
    packet.append('\0'); // length, filled in below from what was appended
    packet.append(reinterpret_cast<const char *>(payload), static_cast<int>(length));
    packet[static_cast<int>(frame::length_offset)] =
        static_cast<char>(packet.size() - static_cast<int>(frame::header_size));

    const uint16_t crc = crc16(reinterpret_cast<const uint8_t *>(packet.constData()),
                               static_cast<std::size_t>(packet.size()));
    packet.append(static_cast<char>(crc >> 8));
    packet.append(static_cast<char>(crc & 0xFFu));
    return packet;
}

QByteArray Frame_builder::build_control(const uint8_t *payload, std::size_t length)
{
    return build(frame::control_sync_1, frame::control_sync_2, payload, length);
}

QByteArray Frame_builder::build_status(const uint8_t *payload, std::size_t length)
{
    return build(frame::status_sync_1, frame::status_sync_2, payload, length);
}
