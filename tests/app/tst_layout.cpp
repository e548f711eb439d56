// The window as built matches its form, ui/mainwindow.ui, read at test time:
// whatever the code does around the form must leave the form's tree as it is.
#include "protocol/status_words.h"
#include "support/window_fixture.h"

#include <QtCore/QFile>
#include <QtCore/QMetaProperty>
#include <QtCore/QXmlStreamReader>
#include <QtTest/QtTest>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QStatusBar>

namespace {

// One object of the form, as the form describes it.
struct Form_object
{
    QString name, class_name;
    bool is_layout = false;
    QString parent;        // the widget that owns it
    QString layout;        // the layout that places it, if any
    int row = -1;          // its cell in a grid layout, or its place in a box layout
    int column = -1;       // -1 in a box layout
    QMap<QString, QString> properties; // name: value as written, a rectangle as "x y w h"
};

struct Form
{
    QVector<Form_object> objects; // in the order of the file, which is the order of creation
    int spacing = -1, margin = -1; // the layouts' defaults
};

QString read_value(QXmlStreamReader &xml)
{
    xml.readNextStartElement();
    if (xml.name() != QLatin1String("rect"))
        return xml.readElementText();
    QStringList numbers;
    while (xml.readNextStartElement())
        numbers << xml.readElementText();
    return numbers.join(' ');
}

Form read_form()
{
    QFile file(QStringLiteral(VELMAR_FORM_PATH));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read the form %s", VELMAR_FORM_PATH);
    QXmlStreamReader xml(&file);
    Form form;
    // The objects and layout items open at the reader's place: indexes, cells.
    QVector<int> open_objects;
    QVector<QPoint> open_items;
    QMap<QString, int> items_placed; // by layout, for the places in a box layout
    const auto enclosing_widget = [&] {
        for (auto open = open_objects.crbegin(); open != open_objects.crend(); ++open)
            if (!form.objects[*open].is_layout)
                return form.objects[*open].name;
        return QString();
    };
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && (xml.name() == QLatin1String("widget") ||
                                   xml.name() == QLatin1String("layout")))
            open_objects.removeLast();
        if (xml.isEndElement() && xml.name() == QLatin1String("item"))
            open_items.removeLast();
        if (!xml.isStartElement())
            continue;
        const auto attribute = [&xml](const char *name) {
            return xml.attributes().value(QLatin1String(name)).toString();
        };
        if (xml.name() == QLatin1String("layoutdefault")) {
            form.spacing = attribute("spacing").toInt();
            form.margin = attribute("margin").toInt();
        } else if (xml.name() == QLatin1String("item")) {
            open_items << QPoint(attribute("column").isEmpty() ? -1 : attribute("column").toInt(),
                                 attribute("row").isEmpty() ? -1 : attribute("row").toInt());
        } else if (xml.name() == QLatin1String("widget") || xml.name() == QLatin1String("layout")) {
            Form_object object;
            object.name = attribute("name");
            object.class_name = attribute("class");
            object.is_layout = xml.name() == QLatin1String("layout");
            object.parent = enclosing_widget();
            if (!open_objects.isEmpty() && form.objects[open_objects.last()].is_layout) {
                object.layout = form.objects[open_objects.last()].name;
                const QPoint cell = open_items.last();
                object.row = cell.y() >= 0 ? cell.y() : items_placed[object.layout];
                object.column = cell.x();
                ++items_placed[object.layout];
            }
            open_objects << form.objects.size();
            form.objects << object;
        } else if (xml.name() == QLatin1String("property") && !open_objects.isEmpty()) {
            const QString name = attribute("name");
            form.objects[open_objects.last()].properties[name] = read_value(xml);
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError())
        qFatal("the form does not parse: %s", qPrintable(xml.errorString()));
    return form;
}

const Form form = read_form();

// What the object holds for a property the form sets, written as the form writes it.
QString property_of(const QObject &object, const QString &name, const QString &as_written)
{
    const QMetaObject *meta = object.metaObject();
    const QMetaProperty property = meta->property(meta->indexOfProperty(qPrintable(name)));
    const QVariant value = property.read(&object);
    if (property.isEnumType()) {
        QString keys = as_written;
        const QMetaEnum meta_enum = property.enumerator();
        if (value.toInt() == meta_enum.keysToValue(qPrintable(keys.remove("Qt::"))))
            return as_written;
        return QString::fromLatin1(meta_enum.isFlag() ? meta_enum.valueToKeys(value.toInt())
                                                      : QByteArray(meta_enum.valueToKey(value.toInt())));
    }
    if (value.userType() == QMetaType::QRect) {
        // The window itself is placed where it was last left.
        QRect rect = value.toRect();
        if (object.isWidgetType() && static_cast<const QWidget &>(object).isWindow())
            rect.moveTo(0, 0);
        return QStringLiteral("%1 %2 %3 %4")
            .arg(rect.x())
            .arg(rect.y())
            .arg(rect.width())
            .arg(rect.height());
    }
    return value.toString();
}

// The form's objects among the children: not the toolkit's helpers inside compound widgets.
QStringList form_children(const QObject &parent)
{
    static const QRegularExpression toolkit_name(QStringLiteral("^(qt_.*|_layout)?$"));
    QStringList names;
    for (const QObject *child : parent.children())
        if (!toolkit_name.match(child->objectName()).hasMatch())
            names << child->objectName();
    return names;
}

} // namespace

class Tst_layout : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window_fixture> w;

    const QObject *built(const QString &name) const
    {
        return name == w->window.objectName() ? &w->window
                                              : w->window.findChild<QObject *>(name);
    }

private Q_SLOTS:
    void initTestCase() { w = make_window_without_port(); }
    void cleanupTestCase() { w.reset(); }

    void object_as_the_form_says_data()
    {
        QTest::addColumn<int>("index");
        QVERIFY(form.objects.size() > 100 && form.spacing > 0 && form.margin > 0);
        for (int i = 0; i < form.objects.size(); ++i)
            QTest::newRow(qPrintable(form.objects[i].name)) << i;
    }

    // Its class, parent, texts, geometry and other properties the form sets,
    // and its place in its layout.
    void object_as_the_form_says()
    {
        QFETCH(int, index);
        const Form_object &expected = form.objects[index];
        const QObject *object = built(expected.name);
        QVERIFY(object);
        // The window is the form's main window, specialised.
        const QMetaObject *meta = object->metaObject();
        QCOMPARE((object == &w->window ? meta->superClass() : meta)->className(),
                 qPrintable(expected.class_name));
        QCOMPARE(object->parent() ? object->parent()->objectName() : QString(), expected.parent);
        for (auto property = expected.properties.cbegin(); property != expected.properties.cend();
             ++property) {
            if (property.key() == QLatin1String("margin"))
                continue; // a layout's, below
            QCOMPARE(property.key() + '=' + property_of(*object, property.key(), property.value()),
                     property.key() + '=' + property.value());
        }
        if (const auto *layout = qobject_cast<const QLayout *>(object)) {
            QCOMPARE(layout->parentWidget()->layout(), layout);
            const int margin = expected.properties.value("margin", QString::number(form.margin)).toInt();
            QCOMPARE(layout->contentsMargins(), QMargins(margin, margin, margin, margin));
            QCOMPARE(layout->spacing(), form.spacing);
            return;
        }
        const auto *widget = static_cast<const QWidget *>(object);
        const QLayout *placed_by = widget->parentWidget() ? widget->parentWidget()->layout() : nullptr;
        const int item = placed_by ? placed_by->indexOf(const_cast<QWidget *>(widget)) : -1;
        if (expected.layout.isEmpty()) // the window's own layout holds the central widget and bars
            QVERIFY(item < 0 || qobject_cast<const QMainWindow *>(widget->parentWidget()));
        if (expected.layout.isEmpty())
            return;
        QCOMPARE(placed_by->objectName(), expected.layout);
        QCOMPARE(int(placed_by->itemAt(item)->alignment()), 0);
        if (const auto *grid = qobject_cast<const QGridLayout *>(placed_by)) {
            int row, column, rows, columns;
            const_cast<QGridLayout *>(grid)->getItemPosition(item, &row, &column, &rows, &columns);
            QCOMPARE(QRect(column, row, columns, rows), QRect(expected.column, expected.row, 1, 1));
        } else {
            QCOMPARE(item, expected.row);
            QCOMPARE(qobject_cast<const QBoxLayout *>(placed_by)->stretch(item), 0);
        }
    }

    // Nothing more and nothing less than the form's objects, in its order.
    void created_in_the_forms_order()
    {
        QHash<QString, QStringList> children;
        for (const Form_object &object : form.objects)
            if (!object.parent.isEmpty())
                children[object.parent] << object.name;
        QObjectList all = w->window.findChildren<QObject *>() << &w->window;
        for (const QObject *object : all)
            QCOMPARE(form_children(*object), children.value(object->objectName()));
        QCOMPARE((QStringList{w->window.centralWidget()->objectName(),
                              w->window.menuBar()->objectName(),
                              w->window.statusBar()->objectName()}),
                 (QStringList{"centralWidget", "menuBar", "statusBar"}));
    }

    // The window finds a cage's labels by names made of the cage's key.
    void every_cage_label_the_window_looks_up()
    {
        const QStringList cage_labels{"type",      "present",      "temp",     "temp_text",
                                      "chanel_%1", "ch%1_text",    "rx_pwr_%1", "rxpwr%1_text",
                                      "tx_pwr_%1", "txpwr%1_text", "wl%1",     "wl%1_text"};
        for (int cage = 0; cage < Unit_status::cage_count; ++cage)
            for (int channel = 0; channel < Unit_status::channel_count; ++channel)
                for (const QString &name : cage_labels) {
                    const QString full = "label_" + Status_words::cage_key(cage) + '_' +
                                         (name.contains('%') ? name.arg(Status_words::number(channel)) : name);
                    QVERIFY2(w->window.findChild<QLabel *>(full), qPrintable(full));
                }
    }
};

QTEST_MAIN(Tst_layout)
#include "tst_layout.moc"
