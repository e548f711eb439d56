#include "protocol/crc16.h"

#include <array>

namespace {

constexpr uint16_t reflected_polynomial = 0xA001;
constexpr uint16_t initial_value = 0xFFFF;

constexpr std::array<uint16_t, 256> make_table()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < table.size(); ++i) {
        uint16_t reg = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 1u) ? static_cast<uint16_t>((reg >> 1) ^ reflected_polynomial)
                             : static_cast<uint16_t>(reg >> 1);
        table[i] = reg;
    }
    return table;
}

constexpr std::array<uint16_t, 256> crc_table = make_table();

} // namespace

uint16_t crc16(const uint8_t *data, std::size_t length)
{
    uint16_t reg = initial_value;
    for (std::size_t i = 0; i < length; ++i)
        reg = static_cast<uint16_t>((reg >> 8) ^ crc_table[(reg ^ data[i]) & 0xFFu]);
    return reg;
}
