// The window as the tool builds it has exactly the tree the form describes:
// whatever the code does around the form (panels, editors, saved settings)
// leaves the form's objects, their places, texts and geometry as they are.
// The form's own build, a bare main window set up from it, is the reference.
#include "protocol/status_words.h"
#include "support/window_fixture.h"
#include "ui_mainwindow.h"

#include <QtCore/QDebug>
#include <QtTest/QtTest>
#include <QtWidgets/QAbstractSpinBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QStatusBar>

namespace {

// What the form sets; the rest (ranges, items, colours, states) is the code's.
const char *const text = "text";
const char *const form_properties[] = {
    text,          "title",           "alignment",     "geometry",           "windowTitle",
    "focusPolicy", "layoutDirection", "mouseTracking", "autoFillBackground", "flat",
    "checkable",   "spacing"};

template <typename Value> QString debug_text(const Value &value)
{
    QString text;
    QDebug(&text) << value;
    return text;
}

bool in_the_form(const QObject *object)
{
    // Not one of the toolkit's helpers inside compound widgets.
    static const QRegularExpression toolkit_name(QStringLiteral("^(qt_.*|_layout)?$"));
    return !toolkit_name.match(object->objectName()).hasMatch();
}

// An object of the form: its class, its parent, its place in its layout and
// what the form sets of it.
QString described(const QObject &object)
{
    const QObject *parent = object.parent();
    QStringList words{object.objectName(), parent ? object.metaObject()->className() : "",
                      "in " + (parent ? parent->objectName() : QString())};
    for (const char *name : form_properties) {
        const QVariant value = object.property(name);
        // A spin box's text is its value, the code's.
        if (value.isValid() && !(qobject_cast<const QAbstractSpinBox *>(&object) && name == text))
            words << name +
                         ('=' + (value.userType() == QMetaType::QRect ? debug_text(value.toRect())
                                                                      : value.toString()));
    }
    const auto *widget = qobject_cast<const QWidget *>(&object);
    if (widget && widget->isHidden())
        words << QStringLiteral("hidden");
    if (widget && widget->testAttribute(Qt::WA_SetLayoutDirection))
        words << QStringLiteral("its own layout direction");
    if (widget && widget->isWindow()) // placed where it was last left
        words.replaceInStrings(QRegularExpression("^geometry=.*"),
                               "size=" + debug_text(widget->size()));
    if (const auto *layout = qobject_cast<const QLayout *>(&object))
        words << debug_text(layout->contentsMargins())
              << (layout->parentWidget()->layout() == layout ? "installed" : "loose");
    QLayout *holder = widget && widget->parentWidget() ? widget->parentWidget()->layout() : nullptr;
    if (const int item = holder ? holder->indexOf(const_cast<QWidget *>(widget)) : -1; item >= 0) {
        int row = item, column = -1, rows = 1, columns = 1;
        if (auto *grid = qobject_cast<QGridLayout *>(holder))
            grid->getItemPosition(item, &row, &column, &rows, &columns);
        words << QStringLiteral("cell %1,%2 %3x%4 aligned %5")
                     .arg(row)
                     .arg(column)
                     .arg(rows)
                     .arg(columns)
                     .arg(int(holder->itemAt(item)->alignment()));
    }
    return words.join(QLatin1String(", "));
}

// The window and the form's objects under it, parents before children, each
// parent's in the order of their creation.
QStringList tree(const QMainWindow &window)
{
    QStringList objects;
    QObjectList open{const_cast<QMainWindow *>(&window)};
    while (!open.isEmpty()) {
        const QObject *object = open.takeFirst();
        objects << described(*object);
        for (QObject *child : object->children())
            if (in_the_form(child))
                open << child;
    }
    return objects;
}

} // namespace

class Tst_layout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void the_form_as_it_is()
    {
        const auto w = make_window_without_port();
        QMainWindow form;
        Ui::MainWindow().setupUi(&form);
        const QStringList built = tree(w->window), expected = tree(form);
        QVERIFY(expected.size() > 100);
        for (int i = 0; i < qMax(built.size(), expected.size()); ++i)
            QCOMPARE(built.value(i), expected.value(i));
        QCOMPARE(
            (QStringList{w->window.centralWidget()->objectName(), w->window.menuBar()->objectName(),
                         w->window.statusBar()->objectName()}),
            (QStringList{"centralWidget", "menuBar", "statusBar"}));
    }

    // The window finds a cage's labels by names made of the cage's key.
    void every_cage_label_the_window_looks_up()
    {
        const auto w = make_window_without_port();
        for (int cage = 0; cage < Unit_status::cage_count; ++cage)
            for (const QString n : {"1", "2"})
                for (const QString &name : QStringList{
                         "type", "present", "temp", "temp_text", "chanel_" + n, "ch" + n + "_text",
                         "rx_pwr_" + n, "rxpwr" + n + "_text", "tx_pwr_" + n, "txpwr" + n + "_text",
                         "wl" + n, "wl" + n + "_text"}) {
                    const QString full = "label_" + Status_words::cage_key(cage) + '_' + name;
                    QVERIFY2(w->window.findChild<QLabel *>(full), qPrintable(full));
                }
    }
};

QTEST_MAIN(Tst_layout)
#include "tst_layout.moc"
