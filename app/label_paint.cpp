#include "app/label_paint.h"

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

void Label_paint::text(QLabel *label, const QString &text)
{
    if (!same_text(label->text(), text))
        label->setText(text);
}

void Label_paint::style(QLabel *label, const QString &sheet)
{
    if (!same_text(label->styleSheet(), sheet))
        label->setStyleSheet(sheet);
}

void Label_paint::paint(QLabel *label, const QString &text, const QString &sheet)
{
    Label_paint::text(label, text);
    style(label, sheet);
}

void Label_paint::shown(QWidget *widget, bool visible)
{
    if (widget->isHidden() == visible)
        widget->setVisible(visible);
}

void Label_paint::enabled(QWidget *widget, bool enable)
{
    if (widget->testAttribute(Qt::WA_ForceDisabled) == enable)
        widget->setEnabled(enable);
}

void Label_paint::value(QSpinBox *box, int value)
{
    // The box would clamp a value out of its range anyway; comparing the
    // clamped value keeps such a value from being set again every frame.
    const int bounded = qBound(box->minimum(), value, box->maximum());
    if (box->value() != bounded)
        box->setValue(bounded);
}
