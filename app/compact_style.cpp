#include "app/compact_style.h"

#include <QtWidgets/QStyleOption>

namespace {

// Between a push button's text and its frame: enough for the focus rectangle.
constexpr int button_padding_x = 4;
constexpr int button_padding_y = 1;

} // namespace

Compact_style::Compact_style() : QProxyStyle(QStringLiteral("Windows")) {}

QSize Compact_style::sizeFromContents(ContentsType type, const QStyleOption *option,
                                      const QSize &contents, const QWidget *widget) const
{
    if (type != CT_PushButton)
        return QProxyStyle::sizeFromContents(type, option, contents, widget);
    // "Windows" asks for at least 75 x 23 and 6 pixels of margin; the layout's
    // buttons are 21 pixels tall and hold their one line with room to spare.
    const int frame = pixelMetric(PM_DefaultFrameWidth, option, widget);
    return contents + QSize(2 * (frame + button_padding_x), 2 * (frame + button_padding_y));
}

QRect Compact_style::subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                                    SubControl sub_control, const QWidget *widget) const
{
    QRect rect = QProxyStyle::subControlRect(control, option, sub_control, widget);
    if (control != CC_GroupBox || sub_control != SC_GroupBoxContents)
        return rect;
    // The title sits on the frame line. The group's layout keeps a top margin
    // of 11 pixels, which clears the lower half of any title up to 26 pixels
    // tall, so the layout may start at the frame line: a one-row group of the
    // fixed layout then has room for its row.
    const QRect frame = QProxyStyle::subControlRect(control, option, SC_GroupBoxFrame, widget);
    rect.setTop(frame.top() + pixelMetric(PM_DefaultFrameWidth, option, widget));
    return rect;
}
