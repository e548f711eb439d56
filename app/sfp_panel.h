#ifndef VELMAR_APP_SFP_PANEL_H
#define VELMAR_APP_SFP_PANEL_H

#include "protocol/unit_status.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QString>

#include <array>
#include <cstdint>

class QLabel;

// One SFP cage's labels: its group of the window and its presence label in
// the "Status" group. It draws a cage's reported values into them, setting
// only what differs from what they show.
class Sfp_panel
{
    Q_DECLARE_TR_FUNCTIONS(Sfp_panel)

public:
    // The labels of one channel: its direction, powers and wavelength, each
    // value with its caption.
    struct Channel_labels
    {
        QLabel *direction, *direction_caption;
        QLabel *rx_power, *rx_power_caption;
        QLabel *tx_power, *tx_power_caption;
        QLabel *wavelength, *wavelength_caption;
    };

    struct Labels
    {
        QLabel *type;
        QLabel *present;
        QLabel *temperature, *temperature_caption;
        std::array<Channel_labels, Unit_status::channel_count> channels;
    };

    explicit Sfp_panel(const Labels &labels);

    // Takes in a message about this cage that may not be drawn, because a
    // later one of the same read replaces it. A channel reported unassigned
    // keeps the direction text and the labels shown for it before, so those
    // are followed message by message. Returns whether they changed.
    bool track_directions(const Unit_status::Cage &cage);
    // Received powers below threshold_dbm are shown in red.
    void draw(const Unit_status::Cage &cage, int threshold_dbm);
    // No unit: every value label back to its no-data text.
    void blank();

private:
    // A channel direction that the labels show: unassigned never becomes one.
    using Shown_direction = Unit_status::Direction;

    // Formatting a number allocates; the text is kept with the value it came
    // from, so an unchanged value is not formatted again.
    struct Number_text
    {
        int value = 0;
        bool valid = false;
        QString text;
    };

    void draw_type(Unit_status::Cage_type type);
    void draw_channel(int index, const Unit_status::Channel &channel, int threshold_dbm);
    void draw_rx_power(int index, const Unit_status::Channel &channel, int threshold_dbm);
    void draw_tx_power(int index, const Unit_status::Channel &channel);
    void draw_channel_visibility(int index);
    void draw_values_of_module(const Unit_status::Cage &cage);
    void draw_presence_visibility(bool present);
    static const QString &power_text(int tenths, Number_text &cache);
    static const QString &integer_text(int value, const QString &format, Number_text &cache);

    Labels labels;

    std::array<Shown_direction, Unit_status::channel_count> text_direction{};
    // Until a channel has had a direction the labels keep the form's visibility.
    std::array<bool, Unit_status::channel_count> visibility_set{};
    std::array<Shown_direction, Unit_status::channel_count> visible_direction{};

    std::array<Number_text, Unit_status::channel_count> rx_text;
    std::array<Number_text, Unit_status::channel_count> tx_text;
    std::array<Number_text, Unit_status::channel_count> wavelength_text;
    Number_text temperature_text;

    const QString text_none;
    const QString text_video;
    const QString text_ethernet;
    const QString text_unknown;
    const QString text_ok;
    const QString text_not_available;
    const QString text_rx;
    const QString text_tx;
};

#endif
