#include "model/dante_module.h"

#include "model/label_paint.h"

#include <QtWidgets/QDoubleSpinBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QPushButton>

#include <cmath>

namespace {

constexpr int hundredths_per_db = 100;
constexpr int gain_min_hundredths = 2300;
constexpr int gain_step_hundredths = 75;

} // namespace

Dante_module::Dante_module(QLabel *label_system, QLabel *label_sync, QDoubleSpinBox *box_gain_0,
                           QDoubleSpinBox *box_gain_1, QLabel *label_mic_type,
                           QLabel *label_input_0, QLabel *label_input_1,
                           QPushButton *button_reading_gain, QLabel *label_dante_link)
    : QObject(nullptr), present(0), system_state(0), sync_state(0), link_state(0), input_type{0, 0},
      mic_type(0), gain{gain_default_code, gain_default_code}, cpu_gain{gain_default_code,
                                                                        gain_default_code},
      label_system(label_system), label_sync(label_sync), box_gain_0(box_gain_0),
      box_gain_1(box_gain_1), button_reading_gain(button_reading_gain),
      label_mic_type(label_mic_type), label_input_0(label_input_0), label_input_1(label_input_1),
      label_dante_link(label_dante_link), text_none(QStringLiteral("--")), text_ok(tr("Ok")),
      text_error(tr("Error")), text_not(tr("Not")), text_fault(tr("Fault")),
      text_remote(tr("Remote")), text_local(tr("Local")), text_microphone(tr("Microphone")),
      text_line(tr("Line"))
{
    // Connected before the ranges and values are set, so construction already
    // runs the conversion and gain[] follows the boxes from the start.
    connect(box_gain_0, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &Dante_module::update_gain_0_value);
    connect(box_gain_1, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            &Dante_module::update_gain_1_value);
    connect(button_reading_gain, &QPushButton::clicked, this, &Dante_module::update_gain_from_cpu);
    setup_gain_box(box_gain_0);
    setup_gain_box(box_gain_1);
    button_reading_gain->setEnabled(false);
}

Dante_module::~Dante_module() = default;

void Dante_module::setup_gain_box(QDoubleSpinBox *box)
{
    box->setMinimum(gain_min_db);
    box->setMaximum(gain_max_db);
    box->setSuffix(QStringLiteral(" dB"));
    box->setSingleStep(gain_step_db);
    box->setValue(gain_default_db);
    box->setEnabled(false);
}

void Dante_module::update_gain_0_value(double value)
{
    apply_gain_value(0, value);
}

void Dante_module::update_gain_1_value(double value)
{
    apply_gain_value(1, value);
}

void Dante_module::update_gain_from_cpu()
{
    box_gain_0->setValue(code_to_db(cpu_gain[0]));
    box_gain_1->setValue(code_to_db(cpu_gain[1]));
}

void Dante_module::apply_gain_value(uint8_t index, double value)
{
    const auto hundredths =
        static_cast<uint16_t>(static_cast<long>(value * hundredths_per_db)); // truncates
    const int d = static_cast<int>(hundredths) - gain_min_hundredths;
    if (d % gain_step_hundredths == 0) {
        gain[index] = static_cast<uint8_t>(d / gain_step_hundredths);
    } else {
        const float code = std::round(static_cast<float>(d) / gain_step_hundredths);
        gain[index] = static_cast<uint8_t>(static_cast<int>(code));
        // Snap the entry onto the 0.75 dB grid; the box reports the new value
        // and this conversion runs once more, nested, on the snapped value.
        QDoubleSpinBox *box = index == 0 ? box_gain_0 : box_gain_1;
        box->setValue(code_to_db(gain[index]));
    }
    if (gain[index] != cpu_gain[index])
        Q_EMIT gain_value_changed();
}

void Dante_module::draw_state(QLabel *label, uint8_t state, const QString &bad_text,
                              const QString &bad_style, const QString &good_text,
                              const QString &good_style)
{
    switch (state) {
    case not_reported:
        Label_paint::paint(label, QStringLiteral("--"), style_sheet::grey);
        break;
    case state_bad:
        Label_paint::paint(label, bad_text, bad_style);
        break;
    case state_good:
        Label_paint::paint(label, good_text, good_style);
        break;
    default:
        break;
    }
}

void Dante_module::update_dante_panel()
{
    draw_state(label_system, system_state, text_error, style_sheet::red, text_ok,
               style_sheet::green);
    draw_state(label_sync, sync_state, text_not, style_sheet::black, text_ok, style_sheet::green);
    draw_state(label_mic_type, mic_type, text_remote, style_sheet::green, text_local,
               style_sheet::black);
    draw_state(label_input_0, input_type[0], text_microphone, style_sheet::black, text_line,
               style_sheet::black);
    draw_state(label_input_1, input_type[1], text_microphone, style_sheet::black, text_line,
               style_sheet::black);
    const bool enable = present != 0;
    Label_paint::enabled(box_gain_0, enable);
    Label_paint::enabled(box_gain_1, enable);
    Label_paint::enabled(button_reading_gain, enable);
    draw_state(label_dante_link, link_state, text_fault, style_sheet::black, text_ok,
               style_sheet::green);
}
