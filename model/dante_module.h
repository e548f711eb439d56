#ifndef VELMAR_MODEL_DANTE_MODULE_H
#define VELMAR_MODEL_DANTE_MODULE_H

#include <QtCore/QObject>
#include <QtCore/QString>

#include <cstdint>

class QDoubleSpinBox;
class QLabel;
class QPushButton;

// The Dante audio submodule: its last reported state, its panel, and the
// conversion of the operator's gain entries into gain codes
// (gain in dB = 23.0 + 0.75 x code).
class Dante_module : public QObject
{
    Q_OBJECT

public:
    static constexpr double gain_min_db = 23.0;
    static constexpr double gain_max_db = 70.25;
    static constexpr double gain_step_db = 0.75;
    static constexpr double gain_default_db = 47.0;
    static constexpr uint8_t gain_default_code = 32;

    enum State : uint8_t
    {
        not_reported = 0,
        state_bad = 1,
        state_good = 2
    };

    Dante_module(QLabel *label_system, QLabel *label_sync, QDoubleSpinBox *box_gain_0,
                 QDoubleSpinBox *box_gain_1, QLabel *label_mic_type, QLabel *label_input_0,
                 QLabel *label_input_1, QPushButton *button_reading_gain, QLabel *label_dante_link);
    ~Dante_module() override;

    void update_dante_panel();

    static double code_to_db(uint8_t code) { return gain_min_db + gain_step_db * code; }

    uint8_t present;
    uint8_t system_state;
    uint8_t sync_state;
    uint8_t link_state;
    uint8_t input_type[2];
    uint8_t mic_type;
    uint8_t gain[2];
    // Until the unit first reports its gains, assume the default it starts
    // with, so that neither construction nor an early refresh sends anything.
    uint8_t cpu_gain[2];

    QLabel *label_system;
    QLabel *label_sync;
    QDoubleSpinBox *box_gain_0;
    QDoubleSpinBox *box_gain_1;
    QPushButton *button_reading_gain;
    QLabel *label_mic_type;
    QLabel *label_input_0;
    QLabel *label_input_1;
    QLabel *label_dante_link;

Q_SIGNALS:
    void gain_value_changed();

public Q_SLOTS:
    void update_gain_0_value(double value);
    void update_gain_1_value(double value);
    void update_gain_from_cpu();

private:
    void apply_gain_value(uint8_t index, double value);
    void setup_gain_box(QDoubleSpinBox *box);
    static void draw_state(QLabel *label, uint8_t state, const QString &bad_text,
                           const QString &bad_style, const QString &good_text,
                           const QString &good_style);

    const QString text_none;
    const QString text_ok;
    const QString text_error;
    const QString text_not;
    const QString text_fault;
    const QString text_remote;
    const QString text_local;
    const QString text_microphone;
    const QString text_line;
};

#endif
