#include "app/widget_update.h"

#include <QtWidgets/QLabel>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QWidget>

namespace {

// A widget keeps a shared copy of the string it was given, so a label that
// already shows one of our fixed or cached texts is recognised without
// comparing characters.
bool same_text(const QString &shown, const QString &wanted)
{
    return shown.isSharedWith(wanted) || shown == wanted;
}

} // namespace

void Widget_update::text(QLabel *label, const QString &text)
{
    if (!same_text(label->text(), text))
        label->setText(text);
}

void Widget_update::style(QLabel *label, const QString &sheet)
{
    if (!same_text(label->styleSheet(), sheet))
        label->setStyleSheet(sheet);
}

void Widget_update::paint(QLabel *label, const QString &text, const QString &sheet)
{
    Widget_update::text(label, text);
    style(label, sheet);
}

void Widget_update::shown(QWidget *widget, bool visible)
{
    if (widget->isHidden() == visible)
        widget->setVisible(visible);
}

void Widget_update::enabled(QWidget *widget, bool enable)
{
    if (widget->testAttribute(Qt::WA_ForceDisabled) == enable)
        widget->setEnabled(enable);
}

void Widget_update::value(QSpinBox *box, int value)
{
    // The box would clamp a value out of its range anyway; comparing the
    // clamped value keeps such a value from being set again every frame.
    const int bounded = qBound(box->minimum(), value, box->maximum());
    if (box->value() != bounded)
        box->setValue(bounded);
}
