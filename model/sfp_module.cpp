#include "model/sfp_module.h"

#include "model/label_paint.h"

#include <QtCore/QCoreApplication>
#include <QtWidgets/QLabel>
#include <QtWidgets/QSpinBox>

namespace {

QString translated(const char *text)
{
    return QCoreApplication::translate("Sfp_module", text);
}

} // namespace

Sfp_module::Sfp_module(int index, QLabel *label_type, QLabel *label_chanel_1,
                       QLabel *label_chanel_2, QLabel *label_rx_pwr_1, QLabel *label_rx_pwr_2,
                       QLabel *label_tx_pwr_1, QLabel *label_tx_pwr_2, QLabel *label_temp,
                       QLabel *label_present, QLabel *label_ch1_text, QLabel *label_ch2_text,
                       QLabel *label_rxpwr1_text, QLabel *label_rxpwr2_text,
                       QLabel *label_txpwr1_text, QLabel *label_txpwr2_text,
                       QLabel *label_temp_text, QLabel *label_wl1, QLabel *label_wl1_text,
                       QLabel *label_wl2, QLabel *label_wl2_text, QSpinBox *trshd_box)
    : chanel_dir{0, 0}, present(0),
      type(type_video), rx_pwr{0.0f, 0.0f}, tx_pwr{0.0f, 0.0f}, wavelength{0, 0},
      temperature(0), chanel_flag{0, 0}, label_type(label_type), label_chanel_1(label_chanel_1),
      label_ch1_text(label_ch1_text), label_chanel_2(label_chanel_2),
      label_ch2_text(label_ch2_text), label_tx_pwr_1(label_tx_pwr_1),
      label_txpwr1_text(label_txpwr1_text), label_wl1(label_wl1), label_wl1_text(label_wl1_text),
      label_tx_pwr_2(label_tx_pwr_2), label_txpwr2_text(label_txpwr2_text), label_wl2(label_wl2),
      label_wl2_text(label_wl2_text), label_rx_pwr_1(label_rx_pwr_1),
      label_rxpwr1_text(label_rxpwr1_text), label_rx_pwr_2(label_rx_pwr_2),
      label_rxpwr2_text(label_rxpwr2_text), label_temp(label_temp),
      label_temp_text(label_temp_text), label_present(label_present), trshd_box(trshd_box),
      dbm_format(QStringLiteral("%1 dBm")), celsius_format(QStringLiteral("%1 C")),
      nm_format(QStringLiteral("%1 nm")), text_none(QStringLiteral("--")),
      text_video(translated("Video")), text_ethernet(translated("Ethernet")),
      text_unknown(translated("Unknown")), text_ok(translated("Ok")),
      text_not_available(translated("Not available")), text_rx(translated("Rx")),
      text_tx(translated("Tx"))
{
    Q_UNUSED(index)
}

Sfp_module::~Sfp_module() = default;

void Sfp_module::update_sfp_panel()
{
    draw_type_and_presence();
    draw_direction(label_chanel_1, chanel_dir[0]);
    draw_direction(label_chanel_2, chanel_dir[1]);
    draw_rx_power(label_rx_pwr_1, chanel_dir[0], rx_pwr[0], shown_rx[0]);
    draw_rx_power(label_rx_pwr_2, chanel_dir[1], rx_pwr[1], shown_rx[1]);
    draw_tx_power(label_tx_pwr_1, chanel_dir[0], tx_pwr[0], shown_tx[0]);
    draw_tx_power(label_tx_pwr_2, chanel_dir[1], tx_pwr[1], shown_tx[1]);
    draw_wavelengths_and_temperature();
    draw_channel_visibility(chanel_dir[0], label_rx_pwr_1, label_rxpwr1_text, label_tx_pwr_1,
                            label_txpwr1_text, label_wl1, label_wl1_text);
    draw_channel_visibility(chanel_dir[1], label_rx_pwr_2, label_rxpwr2_text, label_tx_pwr_2,
                            label_txpwr2_text, label_wl2, label_wl2_text);
    draw_presence_visibility();
}

void Sfp_module::draw_type_and_presence()
{
    switch (type) {
    case type_video:
        Label_paint::paint(label_type, text_video, style_sheet::green);
        Label_paint::paint(label_present, text_ok, style_sheet::green);
        break;
    case type_ethernet:
        Label_paint::paint(label_type, text_ethernet, style_sheet::green);
        Label_paint::paint(label_present, text_ok, style_sheet::green);
        break;
    case type_other:
        Label_paint::paint(label_type, text_unknown, style_sheet::red);
        Label_paint::paint(label_present, text_ok, style_sheet::red);
        break;
    case type_none:
        Label_paint::paint(label_type, text_none, style_sheet::black);
        Label_paint::paint(label_present, text_not_available, style_sheet::grey);
        break;
    default:
        break;
    }
}

void Sfp_module::draw_direction(QLabel *label, uint8_t direction)
{
    switch (direction) {
    case dir_none:
        Label_paint::text(label, text_none);
        break;
    case dir_rx:
        Label_paint::text(label, text_rx);
        break;
    case dir_tx:
        Label_paint::text(label, text_tx);
        break;
    default:
        // Unassigned: the channel keeps whatever it showed last.
        break;
    }
}

void Sfp_module::draw_rx_power(QLabel *label, uint8_t direction, float power, Shown_number &cache)
{
    if (direction != dir_rx) {
        Label_paint::paint(label, text_none, style_sheet::black);
        return;
    }
    Label_paint::text(label, power_text(power, cache));
    const bool below_threshold = power < static_cast<float>(trshd_box->value());
    Label_paint::style(label, below_threshold ? style_sheet::red : style_sheet::black);
}

void Sfp_module::draw_tx_power(QLabel *label, uint8_t direction, float power, Shown_number &cache)
{
    Label_paint::text(label, direction == dir_tx ? power_text(power, cache) : text_none);
}

void Sfp_module::draw_wavelengths_and_temperature()
{
    if (present) {
        Label_paint::text(label_wl1, integer_text(wavelength[0], nm_format, shown_wl[0]));
        Label_paint::text(label_wl2, integer_text(wavelength[1], nm_format, shown_wl[1]));
        Label_paint::text(label_temp, integer_text(temperature, celsius_format, shown_temp));
    } else {
        Label_paint::text(label_wl1, text_none);
        Label_paint::text(label_wl2, text_none);
        Label_paint::text(label_temp, text_none);
    }
}

void Sfp_module::draw_channel_visibility(uint8_t direction, QLabel *rx, QLabel *rx_text, QLabel *tx,
                                         QLabel *tx_text, QLabel *wl, QLabel *wl_text)
{
    if (direction == dir_unassigned || direction > dir_unassigned)
        return;
    const bool show_rx = direction == dir_rx;
    const bool show_tx = direction == dir_tx;
    Label_paint::shown(rx, show_rx);
    Label_paint::shown(rx_text, show_rx);
    Label_paint::shown(tx, show_tx);
    Label_paint::shown(tx_text, show_tx);
    Label_paint::shown(wl, show_tx);
    Label_paint::shown(wl_text, show_tx);
}

void Sfp_module::draw_presence_visibility()
{
    const bool visible = present == 1;
    Label_paint::shown(label_chanel_1, visible);
    Label_paint::shown(label_ch1_text, visible);
    Label_paint::shown(label_chanel_2, visible);
    Label_paint::shown(label_ch2_text, visible);
    Label_paint::shown(label_temp, visible);
    Label_paint::shown(label_temp_text, visible);
}

const QString &Sfp_module::power_text(float power, Shown_number &cache)
{
    const double value = static_cast<double>(power);
    if (!cache.valid || cache.value != value) {
        cache.text = dbm_format.arg(value, 0, 'f', 1);
        cache.value = value;
        cache.valid = true;
    }
    return cache.text;
}

const QString &Sfp_module::integer_text(int value, const QString &format, Shown_number &cache)
{
    if (!cache.valid || cache.value != value) {
        cache.text = format.arg(value);
        cache.value = value;
        cache.valid = true;
    }
    return cache.text;
}
