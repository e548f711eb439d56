#ifndef VELMAR_APP_WIDGET_UPDATE_H
#define VELMAR_APP_WIDGET_UPDATE_H

#include <QtCore/QString>

class QLabel;
class QSpinBox;
class QWidget;

// The colours a status label can take. A label is coloured only through its
// style sheet; the port label's green and grey carry a blank before the colon.
namespace style_sheet {
inline const QString green = QStringLiteral("color: green");
inline const QString red = QStringLiteral("color: red");
inline const QString black = QStringLiteral("color: black");
inline const QString grey = QStringLiteral("color: grey");
inline const QString port_green = QStringLiteral("color : green");
inline const QString port_grey = QStringLiteral("color : grey");
} // namespace style_sheet

// Widget updates that touch a widget only when the wanted state differs from
// what it already shows. A redraw runs after every status frame, and setting
// a style sheet re-polishes the label even when the sheet is unchanged; a
// spin box reformats and repaints its text on every setValue().
class Widget_update
{
public:
    static void text(QLabel *label, const QString &text);
    static void style(QLabel *label, const QString &sheet);
    // Text first, then style sheet.
    static void paint(QLabel *label, const QString &text, const QString &sheet);
    static void shown(QWidget *widget, bool visible);
    static void enabled(QWidget *widget, bool enable);
    static void value(QSpinBox *box, int value);
};

#endif
