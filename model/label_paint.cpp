#include "model/label_paint.h"

#include <QtWidgets/QLabel>
#include <QtWidgets/QWidget>

void Label_paint::text(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

void Label_paint::style(QLabel *label, const QString &sheet)
{
    if (label->styleSheet() != sheet)
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
