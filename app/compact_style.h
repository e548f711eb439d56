#ifndef VELMAR_APP_COMPACT_STYLE_H
#define VELMAR_APP_COMPACT_STYLE_H

#include <QtWidgets/QProxyStyle>

// The "Windows" style with the compact metrics the window's fixed layout was
// drawn for: a group box's layout starts under its frame line rather than
// under its whole title, and a push button asks for its text and frame only.
class Compact_style : public QProxyStyle
{
    Q_OBJECT

public:
    Compact_style();

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &contents,
                           const QWidget *widget) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                         SubControl sub_control, const QWidget *widget) const override;
};

#endif
