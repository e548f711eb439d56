#include "app/dante_panel.h"

#include "app/widget_update.h"

#include <QtWidgets/QLabel>

namespace {

constexpr uint8_t not_reported = 0;
constexpr uint8_t bad = 1;
constexpr uint8_t good = 2;

template <typename Enum> uint8_t code(Enum value)
{
    return static_cast<uint8_t>(value);
}

} // namespace

Dante_panel::Dante_panel(const Widgets &widgets)
    : widgets(widgets), text_none(QStringLiteral("--")), text_ok(tr("Ok")), text_error(tr("Error")),
      text_not(tr("Not")), text_fault(tr("Fault")), text_remote(tr("Remote")),
      text_local(tr("Local")), text_microphone(tr("Microphone")), text_line(tr("Line"))
{
}

void Dante_panel::draw(const Unit_status::Dante &dante)
{
    draw_state(widgets.system, code(dante.system), text_error, style_sheet::red, text_ok,
               style_sheet::green);
    draw_state(widgets.sync, code(dante.sync), text_not, style_sheet::black, text_ok,
               style_sheet::green);
    draw_state(widgets.mic, code(dante.mic), text_remote, style_sheet::green, text_local,
               style_sheet::black);
    draw_state(widgets.input_0, code(dante.inputs[0]), text_microphone, style_sheet::black,
               text_line, style_sheet::black);
    draw_state(widgets.input_1, code(dante.inputs[1]), text_microphone, style_sheet::black,
               text_line, style_sheet::black);
    enable_gains(dante.present);
    draw_state(widgets.link, code(dante.link), text_fault, style_sheet::black, text_ok,
               style_sheet::green);
}

void Dante_panel::draw_state(QLabel *label, uint8_t state, const QString &bad_text,
                             const QString &bad_style, const QString &good_text,
                             const QString &good_style)
{
    switch (state) {
    case not_reported:
        Widget_update::paint(label, text_none, style_sheet::grey);
        break;
    case bad:
        Widget_update::paint(label, bad_text, bad_style);
        break;
    case good:
        Widget_update::paint(label, good_text, good_style);
        break;
    default:
        break;
    }
}

void Dante_panel::enable_gains(bool enable)
{
    Widget_update::enabled(widgets.gain_0, enable);
    Widget_update::enabled(widgets.gain_1, enable);
    Widget_update::enabled(widgets.read_gains, enable);
}

void Dante_panel::blank()
{
    for (QLabel *label : {widgets.system, widgets.sync, widgets.link, widgets.input_0,
                          widgets.input_1, widgets.mic})
        Widget_update::paint(label, text_none, style_sheet::grey);
    enable_gains(false);
}
