#include "app/sfp_panel.h"

#include "app/widget_update.h"
#include "protocol/status_judgement.h"
#include "protocol/status_words.h"

#include <QtWidgets/QLabel>

namespace {

using Direction = Unit_status::Direction;
using Cage_type = Unit_status::Cage_type;

const QString dbm_format = QStringLiteral("%1 dBm");
const QString celsius_format = QStringLiteral("%1 C");
const QString nm_format = QStringLiteral("%1 nm");

} // namespace

Sfp_panel::Sfp_panel(const Labels &labels)
    : labels(labels), text_none(QStringLiteral("--")), text_video(tr("Video")),
      text_ethernet(tr("Ethernet")), text_unknown(tr("Unknown")), text_ok(tr("Ok")),
      text_not_available(tr("Not available")), text_rx(tr("Rx")), text_tx(tr("Tx"))
{
}

bool Sfp_panel::track_directions(const Unit_status::Cage &cage)
{
    bool changed = false;
    for (int index = 0; index < Unit_status::channel_count; ++index) {
        const Direction direction = cage.channels[index].direction;
        if (direction == Direction::unassigned)
            continue;
        changed = changed || text_direction[index] != direction ||
                  visible_direction[index] != direction || !visibility_set[index];
        text_direction[index] = direction;
        visible_direction[index] = direction;
        visibility_set[index] = true;
    }
    return changed;
}

void Sfp_panel::draw(const Unit_status::Cage &cage, int threshold_dbm)
{
    draw_type(cage.type);
    for (int index = 0; index < Unit_status::channel_count; ++index)
        draw_channel(index, cage.channels[index], threshold_dbm);
    draw_values_of_module(cage);
    for (int index = 0; index < Unit_status::channel_count; ++index)
        draw_channel_visibility(index);
    draw_presence_visibility(cage.present());
}

void Sfp_panel::draw_type(Cage_type type)
{
    switch (type) {
    case Cage_type::video:
        Widget_update::paint(labels.type, text_video, style_sheet::green);
        Widget_update::paint(labels.present, text_ok, style_sheet::green);
        break;
    case Cage_type::ethernet:
        Widget_update::paint(labels.type, text_ethernet, style_sheet::green);
        Widget_update::paint(labels.present, text_ok, style_sheet::green);
        break;
    case Cage_type::other:
        Widget_update::paint(labels.type, text_unknown, style_sheet::red);
        Widget_update::paint(labels.present, text_ok, style_sheet::red);
        break;
    case Cage_type::none:
        Widget_update::paint(labels.type, text_none, style_sheet::black);
        Widget_update::paint(labels.present, text_not_available, style_sheet::grey);
        break;
    }
}

void Sfp_panel::draw_channel(int index, const Unit_status::Channel &channel, int threshold_dbm)
{
    const QString *direction = &text_none;
    if (text_direction[index] == Direction::rx)
        direction = &text_rx;
    else if (text_direction[index] == Direction::tx)
        direction = &text_tx;
    Widget_update::text(labels.channels[index].direction, *direction);
    draw_rx_power(index, channel, threshold_dbm);
    draw_tx_power(index, channel);
}

void Sfp_panel::draw_rx_power(int index, const Unit_status::Channel &channel, int threshold_dbm)
{
    QLabel *label = labels.channels[index].rx_power;
    if (channel.direction != Direction::rx) {
        Widget_update::paint(label, text_none, style_sheet::black);
        return;
    }
    Widget_update::text(label, power_text(channel.power_tenths, rx_text[index]));
    const bool below = Status_judgement::below(channel.power_tenths, threshold_dbm);
    Widget_update::style(label, below ? style_sheet::red : style_sheet::black);
}

void Sfp_panel::draw_tx_power(int index, const Unit_status::Channel &channel)
{
    QLabel *label = labels.channels[index].tx_power;
    if (channel.direction != Direction::tx) {
        Widget_update::text(label, text_none);
        return;
    }
    Widget_update::text(label, power_text(channel.power_tenths, tx_text[index]));
}

void Sfp_panel::draw_values_of_module(const Unit_status::Cage &cage)
{
    for (int index = 0; index < Unit_status::channel_count; ++index) {
        QLabel *label = labels.channels[index].wavelength;
        if (cage.present())
            Widget_update::text(label, integer_text(cage.channels[index].wavelength_nm, nm_format,
                                                    wavelength_text[index]));
        else
            Widget_update::text(label, text_none);
    }
    if (cage.present())
        Widget_update::text(labels.temperature,
                            integer_text(cage.temperature_c, celsius_format, temperature_text));
    else
        Widget_update::text(labels.temperature, text_none);
}

void Sfp_panel::draw_channel_visibility(int index)
{
    if (!visibility_set[index])
        return;
    const Channel_labels &channel = labels.channels[index];
    const bool show_rx = visible_direction[index] == Direction::rx;
    const bool show_tx = visible_direction[index] == Direction::tx;
    Widget_update::shown(channel.rx_power, show_rx);
    Widget_update::shown(channel.rx_power_caption, show_rx);
    Widget_update::shown(channel.tx_power, show_tx);
    Widget_update::shown(channel.tx_power_caption, show_tx);
    Widget_update::shown(channel.wavelength, show_tx);
    Widget_update::shown(channel.wavelength_caption, show_tx);
}

void Sfp_panel::draw_presence_visibility(bool present)
{
    for (const Channel_labels &channel : labels.channels) {
        Widget_update::shown(channel.direction, present);
        Widget_update::shown(channel.direction_caption, present);
    }
    Widget_update::shown(labels.temperature, present);
    Widget_update::shown(labels.temperature_caption, present);
}

void Sfp_panel::blank()
{
    Widget_update::paint(labels.present, text_none, style_sheet::black);
    Widget_update::paint(labels.type, text_none, style_sheet::black);
    for (int index = 0; index < Unit_status::channel_count; ++index) {
        const Channel_labels &channel = labels.channels[index];
        Widget_update::paint(channel.rx_power, text_none, style_sheet::black);
        Widget_update::text(channel.direction, text_none);
        Widget_update::text(channel.tx_power, text_none);
        Widget_update::text(channel.wavelength, text_none);
        text_direction[index] = Direction::none;
    }
    Widget_update::text(labels.temperature, text_none);
}

const QString &Sfp_panel::power_text(int tenths, Number_text &cache)
{
    if (!cache.valid || cache.value != tenths) {
        cache.text = dbm_format.arg(Status_words::power_text(tenths));
        cache.value = tenths;
        cache.valid = true;
    }
    return cache.text;
}

const QString &Sfp_panel::integer_text(int value, const QString &format, Number_text &cache)
{
    if (!cache.valid || cache.value != value) {
        cache.text = format.arg(value);
        cache.value = value;
        cache.valid = true;
    }
    return cache.text;
}
