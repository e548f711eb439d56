// Checks the widget tree that Ui_MainWindow builds against the intended window
// layout, object by object. The expected tree below is written out by hand on
// purpose: the test has to catch a form that drifted, so it must not be
// derived from the form.

#include "ui_mainwindow.h"

#include <QtCore/QTranslator>
#include <QtTest/QtTest>
#include <QtWidgets/QBoxLayout>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QDoubleSpinBox>
#include <QtWidgets/QGridLayout>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMainWindow>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSpinBox>
#include <QtWidgets/QStatusBar>

#include <iterator>

namespace {

constexpr int no = -1; // no cell, or not a label
constexpr int R = Qt::AlignRight | Qt::AlignVCenter;
constexpr int L = Qt::AlignLeft | Qt::AlignVCenter;
constexpr int layout_spacing = 6;
const QRect menu_bar_geometry(0, 0, 960, 20);
const char *const window_title = "Velmar Serial Port";

// Class names, short enough for every object of the table to fit on one line.
const char *const Widget = "QWidget", *const Group = "QGroupBox", *const Label = "QLabel";
const char *const Combo = "QComboBox", *const Button = "QPushButton", *const Spin = "QSpinBox";
const char *const DSpin = "QDoubleSpinBox", *const Grid = "QGridLayout";
const char *const HBox = "QHBoxLayout", *const MenuBar = "QMenuBar";
const char *const StatusBar = "QStatusBar";

struct Expected_object
{
    const char *name;
    const char *class_name;
    const char *parent;
    int row;          // grid row, or the index in a box layout; no when placed by geometry
    int column;       // grid column; no in a box layout or when placed by geometry
    int alignment;    // label alignment; no for every other class
    const char *text; // label text, button text or group title; nullptr when none is set
    QRect geometry;   // null when a layout places the object
};

// In creation order, which is also the order of the holder's members.
// clang-format off
const Expected_object expected_tree[] = {
    {"centralWidget", Widget, "MainWindow", no, no, no, nullptr, {}},
    {"groupBox", Group, "centralWidget", no, no, no, "Serial Port", {40, 20, 191, 111}},
    {"gridLayout_2", Grid, "groupBox", no, no, no, nullptr, {}},
    {"label_2", Label, "groupBox", 1, 0, R, "Port Name:", {}},
    {"comboBox_SerialPort", Combo, "groupBox", 1, 1, no, nullptr, {}},
    {"label_SerialPort_Ok", Label, "groupBox", 1, 2, L, "--", {}},
    {"label_3", Label, "groupBox", 2, 0, R, "BaudRate:", {}},
    {"comboBox_BaudRate", Combo, "groupBox", 2, 1, no, nullptr, {}},
    {"button_rescan", Button, "groupBox", 0, 0, no, "Rescan", {}},
    {"groupBox_2", Group, "centralWidget", no, no, no, "Status", {240, 20, 401, 111}},
    {"gridLayout", Grid, "groupBox_2", no, no, no, nullptr, {}},
    {"label_15", Label, "groupBox_2", 0, 0, R, "RX Fault:", {}},
    {"label_rx_fault", Label, "groupBox_2", 0, 1, L, "--", {}},
    {"label_18", Label, "groupBox_2", 0, 2, R, "SFP 1:", {}},
    {"label_sfp1_present", Label, "groupBox_2", 0, 3, L, "--", {}},
    {"label_23", Label, "groupBox_2", 0, 4, R, "Link P1:", {}},
    {"label_link_p1", Label, "groupBox_2", 0, 5, L, "--", {}},
    {"label_16", Label, "groupBox_2", 1, 0, R, "TX Fault:", {}},
    {"label_tx_fault", Label, "groupBox_2", 1, 1, L, "--", {}},
    {"label_19", Label, "groupBox_2", 1, 2, R, "SFP 2:", {}},
    {"label_sfp2_present", Label, "groupBox_2", 1, 3, L, "--", {}},
    {"label_21", Label, "groupBox_2", 1, 4, R, "Link P2:", {}},
    {"label_link_p2", Label, "groupBox_2", 1, 5, L, "--", {}},
    {"label_17", Label, "groupBox_2", 2, 0, R, "Overheat:", {}},
    {"label_overheat", Label, "groupBox_2", 2, 1, L, "--", {}},
    {"label_20", Label, "groupBox_2", 2, 2, R, "SFP Eth:", {}},
    {"label_sfp_eth_present", Label, "groupBox_2", 2, 3, L, "--", {}},
    {"label_22", Label, "groupBox_2", 2, 4, R, "Link F:", {}},
    {"label_link_f", Label, "groupBox_2", 2, 5, L, "--", {}},
    {"groupBox_3", Group, "centralWidget", no, no, no, "SFP 1", {40, 200, 181, 341}},
    {"gridLayout_4", Grid, "groupBox_3", no, no, no, nullptr, {}},
    {"label_sfp1_wl2", Label, "groupBox_3", 7, 1, L, "--", {}},
    {"label_sfp1_wl2_text", Label, "groupBox_3", 7, 0, R, "WaveLen 2:", {}},
    {"label_sfp1_wl1_text", Label, "groupBox_3", 5, 0, R, "WaveLen 1:", {}},
    {"label_sfp1_temp_text", Label, "groupBox_3", 14, 0, R, "Temp:", {}},
    {"label_sfp1_temp", Label, "groupBox_3", 14, 1, L, "--", {}},
    {"label_sfp1_rxpwr1_text", Label, "groupBox_3", 9, 0, R, "Power Rx1:", {}},
    {"label_sfp1_rxpwr2_text", Label, "groupBox_3", 12, 0, R, "Power Rx2:", {}},
    {"label_sfp1_wl1", Label, "groupBox_3", 5, 1, L, "--", {}},
    {"label_8", Label, "groupBox_3", 0, 0, R, "Type:", {}},
    {"label_sfp1_ch2_text", Label, "groupBox_3", 2, 0, R, "Channel 2:", {}},
    {"label_sfp1_ch1_text", Label, "groupBox_3", 1, 0, R, "Channel 1:", {}},
    {"label_sfp1_chanel_1", Label, "groupBox_3", 1, 1, L, "--", {}},
    {"label_sfp1_type", Label, "groupBox_3", 0, 1, L, "--", {}},
    {"label_sfp1_chanel_2", Label, "groupBox_3", 2, 1, L, "--", {}},
    {"label_sfp1_txpwr1_text", Label, "groupBox_3", 4, 0, R, "Power Tx1:", {}},
    {"label_sfp1_tx_pwr_2", Label, "groupBox_3", 6, 1, L, "--", {}},
    {"label_sfp1_tx_pwr_1", Label, "groupBox_3", 4, 1, L, "--", {}},
    {"label_sfp1_txpwr2_text", Label, "groupBox_3", 6, 0, R, "Power Tx2:", {}},
    {"label_sfp1_rx_pwr_1", Label, "groupBox_3", 9, 1, L, "--", {}},
    {"label_sfp1_rx_pwr_2", Label, "groupBox_3", 12, 1, L, "--", {}},
    {"groupBox_4", Group, "centralWidget", no, no, no, "SFP 2", {250, 200, 181, 341}},
    {"gridLayout_5", Grid, "groupBox_4", no, no, no, nullptr, {}},
    {"label_sfp2_rx_pwr_2", Label, "groupBox_4", 12, 1, L, "--", {}},
    {"label_sfp2_rxpwr2_text", Label, "groupBox_4", 12, 0, R, "Power Rx2:", {}},
    {"label_sfp2_rxpwr1_text", Label, "groupBox_4", 10, 0, R, "Power Rx1:", {}},
    {"label_sfp2_rx_pwr_1", Label, "groupBox_4", 10, 1, L, "--", {}},
    {"label_sfp2_wl1_text", Label, "groupBox_4", 6, 0, R, "WaveLen 1:", {}},
    {"label_sfp2_wl1", Label, "groupBox_4", 6, 1, L, "--", {}},
    {"label_sfp2_chanel_1", Label, "groupBox_4", 1, 1, L, "--", {}},
    {"label_sfp2_type", Label, "groupBox_4", 0, 1, L, "--", {}},
    {"label_sfp2_chanel_2", Label, "groupBox_4", 2, 1, L, "--", {}},
    {"label_11", Label, "groupBox_4", 0, 0, R, "Type:", {}},
    {"label_sfp2_ch1_text", Label, "groupBox_4", 1, 0, R, "Channel 1:", {}},
    {"label_sfp2_ch2_text", Label, "groupBox_4", 2, 0, R, "Channel 2:", {}},
    {"label_sfp2_txpwr2_text", Label, "groupBox_4", 7, 0, R, "Power Tx2:", {}},
    {"label_sfp2_tx_pwr_1", Label, "groupBox_4", 4, 1, L, "--", {}},
    {"label_sfp2_txpwr1_text", Label, "groupBox_4", 4, 0, R, "Power Tx1:", {}},
    {"label_sfp2_temp_text", Label, "groupBox_4", 14, 0, R, "Temp:", {}},
    {"label_sfp2_temp", Label, "groupBox_4", 14, 1, L, "--", {}},
    {"label_sfp2_tx_pwr_2", Label, "groupBox_4", 7, 1, L, "--", {}},
    {"label_sfp2_wl2_text", Label, "groupBox_4", 8, 0, R, "WaveLen 2:", {}},
    {"label_sfp2_wl2", Label, "groupBox_4", 8, 1, L, "--", {}},
    {"groupBox_5", Group, "centralWidget", no, no, no, "SFP Eth", {470, 200, 171, 341}},
    {"gridLayout_6", Grid, "groupBox_5", no, no, no, nullptr, {}},
    {"label_sfp_eth_rx_pwr_2", Label, "groupBox_5", 12, 1, L, "--", {}},
    {"label_sfp_eth_rx_pwr_1", Label, "groupBox_5", 9, 1, L, "--", {}},
    {"label_sfp_eth_txpwr2_text", Label, "groupBox_5", 7, 0, R, "Power Tx2:", {}},
    {"label_sfp_eth_tx_pwr_2", Label, "groupBox_5", 7, 1, L, "--", {}},
    {"label_sfp_eth_txpwr1_text", Label, "groupBox_5", 4, 0, R, "Power Tx1:", {}},
    {"label_sfp_eth_temp_text", Label, "groupBox_5", 14, 0, R, "Temp:", {}},
    {"label_sfp_eth_tx_pwr_1", Label, "groupBox_5", 4, 1, L, "--", {}},
    {"label_sfp_eth_temp", Label, "groupBox_5", 14, 1, L, "--", {}},
    {"label_sfp_eth_rxpwr2_text", Label, "groupBox_5", 12, 0, R, "Power Rx2:", {}},
    {"label_sfp_eth_rxpwr1_text", Label, "groupBox_5", 9, 0, R, "Power Rx1:", {}},
    {"label_sfp_eth_chanel_1", Label, "groupBox_5", 1, 1, L, "--", {}},
    {"label_sfp_eth_ch2_text", Label, "groupBox_5", 2, 0, R, "Channel 2:", {}},
    {"label_sfp_eth_type", Label, "groupBox_5", 0, 1, L, "--", {}},
    {"label_sfp_eth_ch1_text", Label, "groupBox_5", 1, 0, R, "Channel 1:", {}},
    {"label_14", Label, "groupBox_5", 0, 0, R, "Type:", {}},
    {"label_sfp_eth_chanel_2", Label, "groupBox_5", 2, 1, L, "--", {}},
    {"label_sfp_eth_wl1_text", Label, "groupBox_5", 5, 0, R, "WaveLen 1:", {}},
    {"label_sfp_eth_wl1", Label, "groupBox_5", 5, 1, L, "--", {}},
    {"label_sfp_eth_wl2_text", Label, "groupBox_5", 8, 0, R, "WaveLen 2:", {}},
    {"label_sfp_eth_wl2", Label, "groupBox_5", 8, 1, L, "--", {}},
    {"groupBox_6", Group, "centralWidget", no, no, no, "Inputs / Outputs", {40, 140, 601, 51}},
    {"gridLayout_3", Grid, "groupBox_6", no, no, no, nullptr, {}},
    {"label_in_out_1", Label, "groupBox_6", 0, 0, R, "---:", {}},
    {"label_lock_1", Label, "groupBox_6", 0, 1, L, "--", {}},
    {"label_in_out_2", Label, "groupBox_6", 0, 2, R, "---:", {}},
    {"label_lock_2", Label, "groupBox_6", 0, 3, L, "--", {}},
    {"label_in_out_3", Label, "groupBox_6", 0, 4, R, "---:", {}},
    {"label_lock_3", Label, "groupBox_6", 0, 5, L, "--", {}},
    {"label_in_out_4", Label, "groupBox_6", 0, 6, R, "---:", {}},
    {"label_lock_4", Label, "groupBox_6", 0, 7, L, "--", {}},
    {"groupBox_7", Group, "centralWidget", no, no, no, "Info", {40, 550, 601, 54}},
    {"horizontalLayout", HBox, "groupBox_7", no, no, no, nullptr, {}},
    {"label_24", Label, "groupBox_7", 0, no, R, "CRC control:", {}},
    {"label_crc_ctrl", Label, "groupBox_7", 1, no, L, "--", {}},
    {"label_25", Label, "groupBox_7", 2, no, R, "Protocol version:", {}},
    {"label_protocol_ver", Label, "groupBox_7", 3, no, L, "--", {}},
    {"label_26", Label, "groupBox_7", 4, no, R, "Receivig status:", {}},
    {"label_receiving_status", Label, "groupBox_7", 5, no, L, "--", {}},
    {"groupBox_8", Group, "centralWidget", no, no, no, "Dante", {670, 19, 251, 391}},
    {"groupBox_9", Group, "groupBox_8", no, no, no, "Status", {20, 30, 181, 91}},
    {"layoutWidget", Widget, "groupBox_9", no, no, no, nullptr, {0, 21, 141, 53}},
    {"gridLayout_7", Grid, "layoutWidget", no, no, no, nullptr, {}},
    {"label_31", Label, "layoutWidget", 0, 0, R, "System:", {}},
    {"label_system", Label, "layoutWidget", 0, 1, R, "--", {}},
    {"label_32", Label, "layoutWidget", 1, 0, R, "Sync:", {}},
    {"label_sync", Label, "layoutWidget", 1, 1, R, "--", {}},
    {"label_36", Label, "layoutWidget", 2, 0, R, "Link:", {}},
    {"label_dante_link", Label, "layoutWidget", 2, 1, R, "--", {}},
    {"groupBox_10", Group, "groupBox_8", no, no, no, "Gain", {20, 220, 181, 151}},
    {"button_reading_gain", Button, "groupBox_10", no, no, no, "Reading gain", {30, 120, 131, 21}},
    {"layoutWidget1", Widget, "groupBox_10", no, no, no, nullptr, {0, 30, 141, 73}},
    {"gridLayout_9", Grid, "layoutWidget1", no, no, no, nullptr, {}},
    {"label_27", Label, "layoutWidget1", 0, 0, R, "Mic 1", {}},
    {"box_gain_0", DSpin, "layoutWidget1", 0, 1, no, nullptr, {}},
    {"label_28", Label, "layoutWidget1", 1, 0, R, "Mic 2", {}},
    {"box_gain_1", DSpin, "layoutWidget1", 1, 1, no, nullptr, {}},
    {"label_33", Label, "layoutWidget1", 2, 0, R, "Type", {}},
    {"label_mic_type", Label, "layoutWidget1", 2, 1, R, "--", {}},
    {"groupBox_11", Group, "groupBox_8", no, no, no, "Audio inputs type", {20, 130, 181, 81}},
    {"layoutWidget2", Widget, "groupBox_11", no, no, no, nullptr, {0, 30, 141, 34}},
    {"gridLayout_8", Grid, "layoutWidget2", no, no, no, nullptr, {}},
    {"label_34", Label, "layoutWidget2", 0, 0, R, "Input 1:", {}},
    {"label_input_0", Label, "layoutWidget2", 0, 1, R, "--", {}},
    {"label_35", Label, "layoutWidget2", 1, 0, R, "Input 2:", {}},
    {"label_input_1", Label, "layoutWidget2", 1, 1, R, "--", {}},
    {"groupBox_12", Group, "centralWidget", no, no, no, "Rx Fault Settings", {670, 420, 251, 121}},
    {"button_trshd_apply", Button, "groupBox_12", no, no, no, "Apply", {69, 90, 91, 21}},
    {"layoutWidget3", Widget, "groupBox_12", no, no, no, nullptr, {20, 30, 181, 54}},
    {"gridLayout_10", Grid, "layoutWidget3", no, no, no, nullptr, {}},
    {"label_29", Label, "layoutWidget3", 0, 0, R, "Current trshd", {}},
    {"box_current_trshd", Spin, "layoutWidget3", 0, 1, no, nullptr, {}},
    {"label_30", Label, "layoutWidget3", 1, 0, R, "New trshd", {}},
    {"box_new_trshd", Spin, "layoutWidget3", 1, 1, no, nullptr, {}},
    {"button_default_set", Button, "centralWidget", no, no, no, "Default Set", {730, 570, 111, 21}},
    {"menuBar", MenuBar, "MainWindow", no, no, no, nullptr, menu_bar_geometry},
    {"statusBar", StatusBar, "MainWindow", no, no, no, nullptr, {}},
};
// clang-format on

struct Built_window
{
    QMainWindow window;
    Ui_MainWindow ui;

    Built_window() { ui.setupUi(&window); }
};

// The form's objects among the children; the toolkit's own helpers inside
// compound widgets are either unnamed or carry a "qt_" prefix.
QStringList form_children(const QObject *parent)
{
    QStringList names;
    for (const QObject *child : parent->children()) {
        const QString name = child->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")) &&
            name != QLatin1String("_layout"))
            names << name;
    }
    return names;
}

QString text_of(const QObject *object)
{
    if (const auto *label = qobject_cast<const QLabel *>(object))
        return label->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(object))
        return group->title();
    if (const auto *button = qobject_cast<const QAbstractButton *>(object))
        return button->text();
    return QString();
}

// Records the texts the form looks up in its context; it translates nothing.
class Recording_translator : public QTranslator
{
public:
    QString translate(const char *context, const char *source, const char *disambiguation,
                      int n) const override
    {
        if (qstrcmp(context, "MainWindow") == 0)
            lookups << (!disambiguation && n == -1 ? QString::fromUtf8(source) : QString());
        return QString();
    }
    bool isEmpty() const override { return false; }

    mutable QStringList lookups;
};

} // namespace

class Tst_layout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void object_matches_layout_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(expected_tree)); ++i)
            QTest::newRow(expected_tree[i].name) << i;
    }

    void object_matches_layout()
    {
        QFETCH(int, index);
        const Expected_object &expected = expected_tree[index];
        Built_window built;
        QObject *object = built.window.findChild<QObject *>(QString::fromLatin1(expected.name));
        QVERIFY(object && object->parent());
        QCOMPARE(object->metaObject()->className(), expected.class_name);
        QCOMPARE(object->parent()->objectName(), QString::fromLatin1(expected.parent));
        QCOMPARE(text_of(object), QString::fromUtf8(expected.text));
        const auto *label = qobject_cast<QLabel *>(object);
        QCOMPARE(label ? int(label->alignment()) : no, expected.alignment);

        if (auto *layout = qobject_cast<QLayout *>(object)) {
            // Installed on its parent; margins 11 in a group box, 0 in a container.
            QCOMPARE(layout->parentWidget()->layout(), layout);
            const int margin = QByteArray(expected.parent).startsWith("layoutWidget") ? 0 : 11;
            QCOMPARE(layout->contentsMargins(), QMargins(margin, margin, margin, margin));
            QCOMPARE(layout->spacing(), layout_spacing);
            if (const auto *grid = qobject_cast<const QGridLayout *>(layout)) {
                QCOMPARE(grid->horizontalSpacing(), layout_spacing);
                QCOMPARE(grid->verticalSpacing(), layout_spacing);
            }
            return;
        }
        auto *widget = qobject_cast<QWidget *>(object);
        QVERIFY(widget);
        if (!expected.geometry.isNull())
            QCOMPARE(widget->geometry(), expected.geometry);
        QLayout *parent_layout = widget->parentWidget()->layout();
        const int item = parent_layout ? parent_layout->indexOf(widget) : -1;
        // The window's own layout holds the central widget and the bars.
        if (expected.row == no || qobject_cast<QMainWindow *>(widget->parentWidget())) {
            QCOMPARE(expected.row, no);
            QVERIFY(item < 0 || qobject_cast<QMainWindow *>(widget->parentWidget()));
            return;
        }
        QVERIFY(item >= 0);
        QCOMPARE(int(parent_layout->itemAt(item)->alignment()), 0);
        if (auto *grid = qobject_cast<QGridLayout *>(parent_layout)) {
            int row = -1, column = -1, row_span = -1, column_span = -1;
            grid->getItemPosition(item, &row, &column, &row_span, &column_span);
            QCOMPARE(QVector<int>({row, column, row_span, column_span}),
                     QVector<int>({expected.row, expected.column, 1, 1}));
        } else {
            QCOMPARE(expected.column, no);
            QCOMPARE(item, expected.row);
            QCOMPARE(qobject_cast<QBoxLayout *>(parent_layout)->stretch(item), 0);
        }
    }

    void every_form_object_is_listed_in_creation_order()
    {
        Built_window built;
        QHash<QString, QStringList> expected_children;
        for (const Expected_object &object : expected_tree)
            expected_children[QString::fromLatin1(object.parent)]
                << QString::fromLatin1(object.name);
        // Any form object missing from the table shows up among its parent's children.
        const QList<QObject *> all =
            QList<QObject *>{&built.window} + built.window.findChildren<QObject *>();
        for (const QObject *object : all)
            QCOMPARE(form_children(object), expected_children.value(object->objectName()));
    }

    void window_frame()
    {
        Built_window built;
        const QMainWindow &window = built.window;
        QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window.size(), QSize(960, 653));
        QCOMPARE(window.windowTitle(), QString::fromLatin1(window_title));
        QVERIFY(!window.hasMouseTracking());
        QCOMPARE(window.focusPolicy(), Qt::ClickFocus);
        QCOMPARE(window.centralWidget(), built.ui.centralWidget);
        QVERIFY(!built.ui.centralWidget->layout());
        QCOMPARE(window.menuBar(), built.ui.menuBar);
        QVERIFY(built.ui.menuBar->actions().isEmpty());
        QCOMPARE(window.statusBar(), built.ui.statusBar);
        QVERIFY(built.ui.statusBar->currentMessage().isEmpty());
        QVERIFY(window.dynamicPropertyNames().isEmpty());
    }

    void only_sfp1_group_sets_extra_properties()
    {
        Built_window built;
        const QGroupBox *sfp1 = built.ui.groupBox_3;
        QCOMPARE(sfp1->focusPolicy(), Qt::NoFocus);
        QCOMPARE(sfp1->layoutDirection(), Qt::LeftToRight);
        QVERIFY(!sfp1->autoFillBackground() && !sfp1->isFlat() && !sfp1->isCheckable());
        // Those values are the defaults, so only the explicit layout direction
        // leaves a trace that tells groupBox_3 apart from the other groups.
        for (const QGroupBox *group : built.window.findChildren<QGroupBox *>())
            QCOMPARE(group->testAttribute(Qt::WA_SetLayoutDirection), group == sfp1);
    }

    void no_widget_has_a_style_sheet()
    {
        Built_window built;
        QVERIFY(built.window.styleSheet().isEmpty());
        for (const QWidget *widget : built.window.findChildren<QWidget *>())
            QVERIFY2(widget->styleSheet().isEmpty(), qPrintable(widget->objectName()));
    }

    void texts_are_translated_in_creation_order()
    {
        Recording_translator translator;
        QVERIFY(QCoreApplication::installTranslator(&translator));
        Built_window built;
        QCoreApplication::removeTranslator(&translator);
        QStringList expected{QString::fromLatin1(window_title)};
        for (const Expected_object &object : expected_tree) {
            if (object.text)
                expected << QString::fromUtf8(object.text);
        }
        QCOMPARE(translator.lookups, expected);
    }
};

QTEST_MAIN(Tst_layout)
#include "tst_layout.moc"
