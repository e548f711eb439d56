#include "model/parcer.h"

#include "model/dante_module.h"
#include "model/sfp_module.h"
#include "model/status_layout.h"

#include <QtCore/QDebug>

namespace {

constexpr float tenths_per_dbm = 10.0f;

uint8_t flag(uint8_t byte, int position)
{
    return status::bit(byte, position) ? 1 : 0;
}

uint8_t state_from_bit(uint8_t byte, int position)
{
    return static_cast<uint8_t>(flag(byte, position) + 1);
}

int16_t read_signed_16(const uint8_t *bytes)
{
    return static_cast<int16_t>(static_cast<uint16_t>((bytes[0] << 8) | bytes[1]));
}

uint16_t read_unsigned_16(const uint8_t *bytes)
{
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

void store_power(Sfp_module *sfp, int channel, uint8_t direction, int16_t raw)
{
    const float dbm = raw / tenths_per_dbm;
    if (direction == Sfp_module::dir_rx)
        sfp->rx_pwr[channel] = dbm;
    else if (direction == Sfp_module::dir_tx)
        sfp->tx_pwr[channel] = dbm;
}

} // namespace

Parcer::Parcer(Sfp_module *sfp_1, Sfp_module *sfp_2, Sfp_module *sfp_eth, Dante_module *dante)
    : QObject(nullptr), rx_fault(0), tx_fault(0), overheat(0), lock{0, 0, 0, 0}, link_valid(0),
      link_f(0), link_p1(0), link_p2(0), protocol_version(status::version_1_1), cpu_rx_trshd(0),
      sfp_1(sfp_1), sfp_2(sfp_2), sfp_eth(sfp_eth), dante(dante)
{
}

Parcer::~Parcer() = default;

void Parcer::parcing_data(uint8_t *data)
{
    protocol_version = data[status::version_offset];

    const uint8_t flags = data[status::flags_offset];
    for (int i = 0; i < status::lock_count; ++i)
        lock[i] = flag(flags, i);
    overheat = flag(flags, status::overheat_bit);
    tx_fault = flag(flags, status::tx_fault_bit);
    rx_fault = flag(flags, status::rx_fault_bit);

    const uint8_t links = data[status::link_offset];
    link_valid = protocol_version >= status::version_1_1 ? flag(links, status::link_valid_bit) : 1;
    link_f = flag(links, status::link_f_bit);
    link_p1 = flag(links, status::link_p1_bit);
    link_p2 = flag(links, status::link_p2_bit);

    // The channel may send its next queued frame from inside this emission.
    if (status::bit(links, status::ack_bit))
        Q_EMIT ack_recieved();

    Sfp_module *const cages[status::cage_count] = {sfp_1, sfp_2, sfp_eth};
    const uint8_t types = data[status::cage_types_offset];
    for (int cage = 0; cage < status::cage_count; ++cage)
        set_cage_type(cages[cage], status::cage_type(types, cage));

    const std::size_t block_size = status::sfp_block_size(protocol_version);
    std::size_t position = status::first_block_offset;
    for (Sfp_module *sfp : cages) {
        if (sfp->present) {
            sfp_parcing(sfp, data + position);
            position += block_size;
        } else {
            sfp->chanel_dir[0] = Sfp_module::dir_none;
            sfp->chanel_dir[1] = Sfp_module::dir_none;
        }
    }

    if (status::has_dante_region(protocol_version)) {
        const uint8_t *region = data + position;
        dante_parcing(dante, region);
        cpu_rx_trshd = static_cast<int8_t>(region[status::rx_threshold_offset]);
        if (status::bit(region[0], status::dante_invalid_bit))
            qDebug() << "Invalid message from dante submodule";
        Q_EMIT rx_power_trshd_recieved(cpu_rx_trshd);
    }

    Q_EMIT update_data_ready();
}

void Parcer::set_cage_type(Sfp_module *sfp, uint8_t type)
{
    sfp->type = type;
    sfp->present = type != Sfp_module::type_none ? 1 : 0;
}

void Parcer::sfp_parcing(Sfp_module *sfp, const uint8_t *block)
{
    const uint8_t head = block[0];
    sfp->chanel_dir[0] =
        static_cast<uint8_t>((head >> status::direction_1_shift) & status::direction_mask);
    sfp->chanel_dir[1] =
        static_cast<uint8_t>((head >> status::direction_2_shift) & status::direction_mask);
    sfp->temperature =
        (head & status::temperature_mask) * status::temperature_step + status::temperature_base;

    store_power(sfp, 0, sfp->chanel_dir[0], read_signed_16(block + status::power_1_offset));
    store_power(sfp, 1, sfp->chanel_dir[1], read_signed_16(block + status::power_2_offset));

    if (protocol_version < status::version_1_1) {
        sfp->wavelength[0] = 0;
        sfp->wavelength[1] = 0;
        sfp->chanel_flag[0] = 0;
        sfp->chanel_flag[1] = 0;
        return;
    }
    sfp->wavelength[0] = read_unsigned_16(block + status::wavelength_1_offset);
    sfp->wavelength[1] = read_unsigned_16(block + status::wavelength_2_offset);
    sfp->chanel_flag[0] = flag(block[status::channel_flags_offset], 0);
    sfp->chanel_flag[1] = flag(block[status::channel_flags_offset], 1);
}

void Parcer::dante_parcing(Dante_module *record, const uint8_t *block)
{
    const uint8_t head = block[0];
    record->present = flag(head, status::dante_present_bit);
    if (!record->present) {
        record->system_state = Dante_module::not_reported;
        record->sync_state = Dante_module::not_reported;
        record->link_state = Dante_module::not_reported;
        record->mic_type = Dante_module::not_reported;
        record->input_type[0] = Dante_module::not_reported;
        record->input_type[1] = Dante_module::not_reported;
        return;
    }
    record->system_state = state_from_bit(head, status::dante_system_bit);
    record->sync_state = state_from_bit(head, status::dante_sync_bit);
    record->link_state = state_from_bit(head, status::dante_link_bit);
    record->mic_type = state_from_bit(head, status::dante_mic_type_bit);
    record->input_type[0] = state_from_bit(head, status::dante_input_0_bit);
    record->input_type[1] = state_from_bit(head, status::dante_input_1_bit);
    record->cpu_gain[0] = block[status::dante_gain_0_offset];
    record->cpu_gain[1] = block[status::dante_gain_1_offset];
}
