#ifndef VELMAR_PROTOCOL_CRC16_H
#define VELMAR_PROTOCOL_CRC16_H

#include <cstddef>
#include <cstdint>

// CRC-16 with the Modbus parameters (reflected 0x8005, start 0xFFFF, no final
// XOR). On the wire it travels high byte first, unlike Modbus RTU.
uint16_t crc16(const uint8_t *data, std::size_t length);

#endif
