#include "status_frames.h"

#include "link/frame_builder.h"
#include "tools/status_encoder.h"

#include <random>
#include <utility>

namespace {

constexpr uint8_t unknown_version = 0x21; // laid out as 2.0, shown as a mismatch
constexpr int16_t under_threshold_tenths = -330;
constexpr int power_steps = 7; // with alternating temperatures: Status_frames::cycle
static_assert(Status_frames::cycle % power_steps == 0 && Status_frames::cycle % 2 == 0);
constexpr int power_spread = 3; // channels move out of step
constexpr uint8_t temperature_low = 3;

void swap_directions(Unit_state::Cage &cage)
{
    std::swap(cage.direction[0], cage.direction[1]);
}

} // namespace

Unit_state Status_frames::full_unit()
{
    Unit_state state;
    state.cages[Unit_state::sfp_eth].type = Unit_state::video;
    return state;
}

Unit_state Status_frames::every_colour_flipped()
{
    Unit_state state = full_unit();
    state.version = unknown_version;
    state.rx_fault = true;
    state.tx_fault = true;
    state.overheat = true;
    state.lock = {{false, false, false, false}};
    state.link_f = false;
    state.link_p1 = false;
    state.link_p2 = false;
    for (Unit_state::Cage &cage : state.cages) {
        cage.type = Unit_state::other_module;
        swap_directions(cage);
        cage.power_tenths = {{under_threshold_tenths, under_threshold_tenths}};
        cage.temperature_code = static_cast<uint8_t>(cage.temperature_code + 1);
    }
    state.dante_system_ok = false;
    state.dante_sync_ok = false;
    state.dante_link_ok = false;
    state.dante_mic_local = true;
    state.dante_input_line = {{true, true}};
    return state;
}

QByteArray Status_frames::frame(const Unit_state &state)
{
    const QByteArray payload = Status_encoder::encode(state, false);
    return Frame_builder::build_status(reinterpret_cast<const uint8_t *>(payload.constData()),
                                       static_cast<std::size_t>(payload.size()));
}

QVector<QByteArray> Status_frames::drifting(int count)
{
    const Unit_state base = full_unit();
    QVector<QByteArray> frames;
    frames.reserve(count);
    for (int i = 0; i < count; ++i) {
        Unit_state state = base;
        vary(state, base, i);
        frames.append(frame(state));
    }
    return frames;
}

void Status_frames::vary(Unit_state &state, const Unit_state &base, int index)
{
    for (int c = 0; c < Unit_state::cage_count; ++c) {
        Unit_state::Cage &cage = state.cages[c];
        for (int channel = 0; channel < Unit_state::channel_count; ++channel) {
            const int step =
                (index + power_spread * (c * Unit_state::channel_count + channel)) % power_steps;
            cage.power_tenths[channel] =
                static_cast<int16_t>(base.cages[c].power_tenths[channel] + step - power_steps / 2);
        }
        cage.temperature_code = static_cast<uint8_t>(temperature_low + index % 2);
    }
}

QByteArray Status_frames::noise(int count, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> byte_value(0, 0xFF);
    QByteArray bytes(count, '\0');
    for (char &byte : bytes)
        byte = static_cast<char>(byte_value(random));
    return bytes;
}

QByteArray Status_frames::repeated(const QByteArray &frame, int byte_count)
{
    QByteArray bytes;
    bytes.reserve(byte_count + frame.size());
    while (bytes.size() < byte_count)
        bytes.append(frame);
    return bytes;
}
