#ifndef VELMAR_PROTOCOL_FRAME_BUILDER_H
#define VELMAR_PROTOCOL_FRAME_BUILDER_H

#include <QtCore/QByteArray>

#include <cstddef>
#include <cstdint>

// Wraps a payload into one complete frame: the given sync pair, the length
// byte, the payload and the CRC-16 high byte first. Used for the tool's
// control frames and, by the simulated unit, for status frames.
class Frame_builder
{
public:
    static QByteArray build(uint8_t sync_1, uint8_t sync_2, const uint8_t *payload,
                            std::size_t length);
    static QByteArray build_control(const uint8_t *payload, std::size_t length);
    static QByteArray build_status(const uint8_t *payload, std::size_t length);
};

#endif
