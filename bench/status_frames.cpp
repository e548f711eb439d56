#include "status_frames.h"

#include "protocol/frame_builder.h"
#include "protocol/status_encoder.h"
#include "simulator/healthy_unit.h"

#include <random>
#include <utility>

namespace {

using S = Unit_status;

constexpr uint8_t unknown_version = 0x21; // laid out as 2.0, shown as a mismatch
constexpr int16_t under_threshold_tenths = -330;
constexpr int power_steps = 7; // with alternating temperatures: Status_frames::cycle
static_assert(Status_frames::cycle % power_steps == 0 && Status_frames::cycle % 2 == 0);
constexpr int power_spread = 3; // channels move out of step
constexpr int temperature_low_c = 40;
constexpr int temperature_step_c = 5; // one step of the wire's temperature code

// Status index of drifting(): base with its powers and temperatures moved.
void drift(S &status, const S &base, int index)
{
    for (int c = 0; c < S::cage_count; ++c) {
        S::Cage &cage = status.cages[c];
        for (int channel = 0; channel < S::channel_count; ++channel) {
            const int step =
                (index + power_spread * (c * S::channel_count + channel)) % power_steps;
            cage.channels[channel].power_tenths = static_cast<int16_t>(
                base.cages[c].channels[channel].power_tenths + step - power_steps / 2);
        }
        cage.temperature_c = temperature_low_c + temperature_step_c * (index % 2);
    }
}

} // namespace

Unit_status Status_frames::full_unit()
{
    S status = healthy_unit();
    status.cages[S::sfp_eth].type = S::Cage_type::video;
    return status;
}

Unit_status Status_frames::every_colour_flipped()
{
    S status = full_unit();
    status.version = unknown_version;
    status.rx_fault = status.tx_fault = status.overheat = true;
    status.locks = {};
    status.link_f = status.link_p1 = status.link_p2 = false;
    for (S::Cage &cage : status.cages) {
        cage.type = S::Cage_type::other;
        std::swap(cage.channels[0].direction, cage.channels[1].direction);
        for (S::Channel &channel : cage.channels)
            channel.power_tenths = under_threshold_tenths;
        cage.temperature_c += temperature_step_c;
    }
    S::Dante &dante = status.dante;
    dante.system = dante.sync = dante.link = S::Dante_state::fault;
    dante.mic = S::Mic_type::local;
    dante.inputs = {{S::Input_type::line, S::Input_type::line}};
    return status;
}

QByteArray Status_frames::payload(const Unit_status &status)
{
    return Status_encoder::payload(status, {});
}

QByteArray Status_frames::frame(const Unit_status &status)
{
    const QByteArray bytes = payload(status);
    return Frame_builder::build_status(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                       static_cast<std::size_t>(bytes.size()));
}

QVector<Unit_status> Status_frames::drifting(int count)
{
    const S base = full_unit();
    QVector<S> statuses(count, base);
    for (int i = 0; i < count; ++i)
        drift(statuses[i], base, i);
    return statuses;
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
