#ifndef VELMAR_MODEL_SFP_MODULE_H
#define VELMAR_MODEL_SFP_MODULE_H

#include <QtCore/QString>

#include <cstdint>

class QLabel;
class QSpinBox;

// One SFP cage: the values the decoder last wrote for it, and the labels of
// its panel, which update_sfp_panel() redraws from those values.
class Sfp_module
{
public:
    enum Direction : uint8_t
    {
        dir_none = 0,
        dir_rx = 1,
        dir_tx = 2,
        dir_unassigned = 3
    };
    enum Type : uint8_t
    {
        type_none = 0,
        type_video = 1,
        type_ethernet = 2,
        type_other = 3
    };

    Sfp_module(int index, QLabel *label_type, QLabel *label_chanel_1, QLabel *label_chanel_2,
               QLabel *label_rx_pwr_1, QLabel *label_rx_pwr_2, QLabel *label_tx_pwr_1,
               QLabel *label_tx_pwr_2, QLabel *label_temp, QLabel *label_present,
               QLabel *label_ch1_text, QLabel *label_ch2_text, QLabel *label_rxpwr1_text,
               QLabel *label_rxpwr2_text, QLabel *label_txpwr1_text, QLabel *label_txpwr2_text,
               QLabel *label_temp_text, QLabel *label_wl1, QLabel *label_wl1_text,
               QLabel *label_wl2, QLabel *label_wl2_text, QSpinBox *trshd_box);
    ~Sfp_module();
    Sfp_module(const Sfp_module &) = delete;
    Sfp_module &operator=(const Sfp_module &) = delete;

    void update_sfp_panel();

    // Decoded values, written by the decoder.
    uint8_t chanel_dir[2];
    uint8_t present;
    uint8_t type;
    float rx_pwr[2];
    float tx_pwr[2];
    uint16_t wavelength[2];
    int32_t temperature;
    uint8_t chanel_flag[2];

private:
    // Formatting a number allocates; the formatted text is kept with the value
    // it came from so an unchanged value is not formatted again.
    struct Shown_number
    {
        double value = 0.0;
        bool valid = false;
        QString text;
    };

    void draw_type_and_presence();
    void draw_direction(QLabel *label, uint8_t direction);
    void draw_rx_power(QLabel *label, uint8_t direction, float power, Shown_number &cache);
    void draw_tx_power(QLabel *label, uint8_t direction, float power, Shown_number &cache);
    void draw_wavelengths_and_temperature();
    void draw_channel_visibility(uint8_t direction, QLabel *rx, QLabel *rx_text, QLabel *tx,
                                 QLabel *tx_text, QLabel *wl, QLabel *wl_text);
    void draw_presence_visibility();
    const QString &power_text(float power, Shown_number &cache);
    static const QString &integer_text(int value, const QString &format, Shown_number &cache);

    QLabel *label_type;
    QLabel *label_chanel_1;
    QLabel *label_ch1_text;
    QLabel *label_chanel_2;
    QLabel *label_ch2_text;
    QLabel *label_tx_pwr_1;
    QLabel *label_txpwr1_text;
    QLabel *label_wl1;
    QLabel *label_wl1_text;
    QLabel *label_tx_pwr_2;
    QLabel *label_txpwr2_text;
    QLabel *label_wl2;
    QLabel *label_wl2_text;
    QLabel *label_rx_pwr_1;
    QLabel *label_rxpwr1_text;
    QLabel *label_rx_pwr_2;
    QLabel *label_rxpwr2_text;
    QLabel *label_temp;
    QLabel *label_temp_text;
    QLabel *label_present;
    QSpinBox *trshd_box;

    const QString dbm_format;
    const QString celsius_format;
    const QString nm_format;

    // Fixed texts, translated once.
    const QString text_none;
    const QString text_video;
    const QString text_ethernet;
    const QString text_unknown;
    const QString text_ok;
    const QString text_not_available;
    const QString text_rx;
    const QString text_tx;

    Shown_number shown_rx[2];
    Shown_number shown_tx[2];
    Shown_number shown_wl[2];
    Shown_number shown_temp;
};

#endif
