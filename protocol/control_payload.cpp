#include "protocol/control_payload.h"

#include "protocol/frame_builder.h"

namespace {

constexpr std::size_t tag_offset = 0;
constexpr std::size_t gain_0_offset = 1;
constexpr std::size_t gain_1_offset = 2;
constexpr std::size_t threshold_offset = 3;

} // namespace

std::array<uint8_t, Control_payload::size> Control_payload::bytes() const
{
    return {{tag, gain_codes[0], gain_codes[1], static_cast<uint8_t>(threshold_dbm)}};
}

QByteArray Control_payload::frame() const
{
    const auto payload = bytes();
    return Frame_builder::build_control(payload.data(), payload.size());
}

bool Control_payload::parse(const uint8_t *payload, std::size_t length, Control_payload *out)
{
    if (length != size || payload[tag_offset] != tag)
        return false;
    out->gain_codes = {{payload[gain_0_offset], payload[gain_1_offset]}};
    out->threshold_dbm = static_cast<int8_t>(payload[threshold_offset]);
    return true;
}
