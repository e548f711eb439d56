#ifndef VELMAR_APP_DANTE_PANEL_H
#define VELMAR_APP_DANTE_PANEL_H

#include "protocol/unit_status.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QString>

class QLabel;
class QWidget;

// The "Dante" group: the submodule's state in words and colours, and the gain
// controls, usable only while the submodule is there.
class Dante_panel
{
    Q_DECLARE_TR_FUNCTIONS(Dante_panel)

public:
    struct Widgets
    {
        QLabel *system, *sync, *link, *mic, *input_0, *input_1;
        QWidget *gain_0, *gain_1, *read_gains;
    };

    explicit Dante_panel(const Widgets &widgets);

    void draw(const Unit_status::Dante &dante);
    // No unit: every label back to "--" in grey, the gain controls disabled.
    void blank();

private:
    void draw_state(QLabel *label, uint8_t state, const QString &bad_text, const QString &bad_style,
                    const QString &good_text, const QString &good_style);
    void enable_gains(bool enable);

    Widgets widgets;

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
