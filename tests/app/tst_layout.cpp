// Written out by hand: a table derived from the form could not catch a form that drifted.
#include "ui_mainwindow.h"

#include <QtTest/QtTest>

namespace {

constexpr int no = -1; // no cell, or not a label
constexpr int R = Qt::AlignRight | Qt::AlignVCenter;
constexpr int L = Qt::AlignLeft | Qt::AlignVCenter;
constexpr int layout_spacing = 6;

const char *const Widget = "QWidget", *const Group = "QGroupBox", *const Label = "QLabel";
const char *const Combo = "QComboBox", *const Button = "QPushButton", *const Spin = "QSpinBox";
const char *const DSpin = "QDoubleSpinBox", *const Grid = "QGridLayout",
                  *const HBox = "QHBoxLayout";
const char *const MenuBar = "QMenuBar", *const StatusBar = "QStatusBar";

struct Expected_object
{
    const char *name, *class_name;
    const char *parent; // nullptr: the parent of the row above
    int row, column;    // grid cell, or (index, no) in a box layout; no when placed by geometry
    int alignment;      // label alignment; no for every other class
    const char *text;   // label text, button text or group title; nullptr when none is set
    QRect geometry;     // null when a layout places the object
};

constexpr Expected_object cap(const char *name, int row, int column, const char *text)
{
    return {name, Label, nullptr, row, column, R, text, {}};
}
constexpr Expected_object val(const char *name, int row, int column, int alignment = L)
{
    return {name, Label, nullptr, row, column, alignment, "--", {}};
}

// In creation order, which is also the order of the holder's members.
// clang-format off
const Expected_object expected_tree[] = {
    {"centralWidget", Widget, "MainWindow", no, no, no, nullptr, {}},
    {"groupBox", Group, "centralWidget", no, no, no, "Serial Port", {40, 20, 191, 111}},
    {"gridLayout_2", Grid, "groupBox", no, no, no, nullptr, {}}, cap("label_2", 1, 0, "Port Name:"),
    {"comboBox_SerialPort", Combo, nullptr, 1, 1, no, nullptr, {}},
    val("label_SerialPort_Ok", 1, 2), cap("label_3", 2, 0, "BaudRate:"),
    {"comboBox_BaudRate", Combo, "groupBox", 2, 1, no, nullptr, {}},
    {"button_rescan", Button, "groupBox", 0, 0, no, "Rescan", {}},
    {"groupBox_2", Group, "centralWidget", no, no, no, "Status", {240, 20, 401, 111}},
    {"gridLayout", Grid, "groupBox_2", no, no, no, nullptr, {}}, cap("label_15", 0, 0, "RX Fault:"),
    val("label_rx_fault", 0, 1), cap("label_18", 0, 2, "SFP 1:"), val("label_sfp1_present", 0, 3),
    cap("label_23", 0, 4, "Link P1:"), val("label_link_p1", 0, 5),
    cap("label_16", 1, 0, "TX Fault:"), val("label_tx_fault", 1, 1),
    cap("label_19", 1, 2, "SFP 2:"), val("label_sfp2_present", 1, 3),
    cap("label_21", 1, 4, "Link P2:"), val("label_link_p2", 1, 5),
    cap("label_17", 2, 0, "Overheat:"), val("label_overheat", 2, 1),
    cap("label_20", 2, 2, "SFP Eth:"), val("label_sfp_eth_present", 2, 3),
    cap("label_22", 2, 4, "Link F:"), val("label_link_f", 2, 5),
    {"groupBox_3", Group, "centralWidget", no, no, no, "SFP 1", {40, 200, 181, 341}},
    {"gridLayout_4", Grid, "groupBox_3", no, no, no, nullptr, {}}, val("label_sfp1_wl2", 7, 1),
    cap("label_sfp1_wl2_text", 7, 0, "WaveLen 2:"), cap("label_sfp1_wl1_text", 5, 0, "WaveLen 1:"),
    cap("label_sfp1_temp_text", 14, 0, "Temp:"), val("label_sfp1_temp", 14, 1),
    cap("label_sfp1_rxpwr1_text", 9, 0, "Power Rx1:"),
    cap("label_sfp1_rxpwr2_text", 12, 0, "Power Rx2:"), val("label_sfp1_wl1", 5, 1),
    cap("label_8", 0, 0, "Type:"), cap("label_sfp1_ch2_text", 2, 0, "Channel 2:"),
    cap("label_sfp1_ch1_text", 1, 0, "Channel 1:"), val("label_sfp1_chanel_1", 1, 1),
    val("label_sfp1_type", 0, 1), val("label_sfp1_chanel_2", 2, 1),
    cap("label_sfp1_txpwr1_text", 4, 0, "Power Tx1:"), val("label_sfp1_tx_pwr_2", 6, 1),
    val("label_sfp1_tx_pwr_1", 4, 1), cap("label_sfp1_txpwr2_text", 6, 0, "Power Tx2:"),
    val("label_sfp1_rx_pwr_1", 9, 1), val("label_sfp1_rx_pwr_2", 12, 1),
    {"groupBox_4", Group, "centralWidget", no, no, no, "SFP 2", {250, 200, 181, 341}},
    {"gridLayout_5", Grid, "groupBox_4", no, no, no, nullptr, {}},
    val("label_sfp2_rx_pwr_2", 12, 1), cap("label_sfp2_rxpwr2_text", 12, 0, "Power Rx2:"),
    cap("label_sfp2_rxpwr1_text", 10, 0, "Power Rx1:"), val("label_sfp2_rx_pwr_1", 10, 1),
    cap("label_sfp2_wl1_text", 6, 0, "WaveLen 1:"), val("label_sfp2_wl1", 6, 1),
    val("label_sfp2_chanel_1", 1, 1), val("label_sfp2_type", 0, 1),
    val("label_sfp2_chanel_2", 2, 1), cap("label_11", 0, 0, "Type:"),
    cap("label_sfp2_ch1_text", 1, 0, "Channel 1:"), cap("label_sfp2_ch2_text", 2, 0, "Channel 2:"),
    cap("label_sfp2_txpwr2_text", 7, 0, "Power Tx2:"), val("label_sfp2_tx_pwr_1", 4, 1),
    cap("label_sfp2_txpwr1_text", 4, 0, "Power Tx1:"), cap("label_sfp2_temp_text", 14, 0, "Temp:"),
    val("label_sfp2_temp", 14, 1), val("label_sfp2_tx_pwr_2", 7, 1),
    cap("label_sfp2_wl2_text", 8, 0, "WaveLen 2:"), val("label_sfp2_wl2", 8, 1),
    {"groupBox_5", Group, "centralWidget", no, no, no, "SFP Eth", {470, 200, 171, 341}},
    {"gridLayout_6", Grid, "groupBox_5", no, no, no, nullptr, {}},
    val("label_sfp_eth_rx_pwr_2", 12, 1), val("label_sfp_eth_rx_pwr_1", 9, 1),
    cap("label_sfp_eth_txpwr2_text", 7, 0, "Power Tx2:"), val("label_sfp_eth_tx_pwr_2", 7, 1),
    cap("label_sfp_eth_txpwr1_text", 4, 0, "Power Tx1:"),
    cap("label_sfp_eth_temp_text", 14, 0, "Temp:"), val("label_sfp_eth_tx_pwr_1", 4, 1),
    val("label_sfp_eth_temp", 14, 1), cap("label_sfp_eth_rxpwr2_text", 12, 0, "Power Rx2:"),
    cap("label_sfp_eth_rxpwr1_text", 9, 0, "Power Rx1:"), val("label_sfp_eth_chanel_1", 1, 1),
    cap("label_sfp_eth_ch2_text", 2, 0, "Channel 2:"), val("label_sfp_eth_type", 0, 1),
    cap("label_sfp_eth_ch1_text", 1, 0, "Channel 1:"), cap("label_14", 0, 0, "Type:"),
    val("label_sfp_eth_chanel_2", 2, 1), cap("label_sfp_eth_wl1_text", 5, 0, "WaveLen 1:"),
    val("label_sfp_eth_wl1", 5, 1), cap("label_sfp_eth_wl2_text", 8, 0, "WaveLen 2:"),
    val("label_sfp_eth_wl2", 8, 1),
    {"groupBox_6", Group, "centralWidget", no, no, no, "Inputs / Outputs", {40, 140, 601, 51}},
    {"gridLayout_3", Grid, "groupBox_6", no, no, no, nullptr, {}},
    cap("label_in_out_1", 0, 0, "---:"), val("label_lock_1", 0, 1),
    cap("label_in_out_2", 0, 2, "---:"), val("label_lock_2", 0, 3),
    cap("label_in_out_3", 0, 4, "---:"), val("label_lock_3", 0, 5),
    cap("label_in_out_4", 0, 6, "---:"), val("label_lock_4", 0, 7),
    {"groupBox_7", Group, "centralWidget", no, no, no, "Info", {40, 550, 601, 54}},
    {"horizontalLayout", HBox, "groupBox_7", no, no, no, nullptr, {}},
    cap("label_24", 0, no, "CRC control:"), val("label_crc_ctrl", 1, no),
    cap("label_25", 2, no, "Protocol version:"), val("label_protocol_ver", 3, no),
    cap("label_26", 4, no, "Receivig status:"), val("label_receiving_status", 5, no),
    {"groupBox_8", Group, "centralWidget", no, no, no, "Dante", {670, 19, 251, 391}},
    {"groupBox_9", Group, "groupBox_8", no, no, no, "Status", {20, 30, 181, 91}},
    {"layoutWidget", Widget, "groupBox_9", no, no, no, nullptr, {0, 21, 141, 53}},
    {"gridLayout_7", Grid, "layoutWidget", no, no, no, nullptr, {}},
    cap("label_31", 0, 0, "System:"), val("label_system", 0, 1, R), cap("label_32", 1, 0, "Sync:"),
    val("label_sync", 1, 1, R), cap("label_36", 2, 0, "Link:"), val("label_dante_link", 2, 1, R),
    {"groupBox_10", Group, "groupBox_8", no, no, no, "Gain", {20, 220, 181, 151}},
    {"button_reading_gain", Button, "groupBox_10", no, no, no, "Reading gain", {30, 120, 131, 21}},
    {"layoutWidget1", Widget, "groupBox_10", no, no, no, nullptr, {0, 30, 141, 73}},
    {"gridLayout_9", Grid, "layoutWidget1", no, no, no, nullptr, {}},
    cap("label_27", 0, 0, "Mic 1"), {"box_gain_0", DSpin, nullptr, 0, 1, no, nullptr, {}},
    cap("label_28", 1, 0, "Mic 2"), {"box_gain_1", DSpin, nullptr, 1, 1, no, nullptr, {}},
    cap("label_33", 2, 0, "Type"), val("label_mic_type", 2, 1, R),
    {"groupBox_11", Group, "groupBox_8", no, no, no, "Audio inputs type", {20, 130, 181, 81}},
    {"layoutWidget2", Widget, "groupBox_11", no, no, no, nullptr, {0, 30, 141, 34}},
    {"gridLayout_8", Grid, "layoutWidget2", no, no, no, nullptr, {}},
    cap("label_34", 0, 0, "Input 1:"), val("label_input_0", 0, 1, R),
    cap("label_35", 1, 0, "Input 2:"), val("label_input_1", 1, 1, R),
    {"groupBox_12", Group, "centralWidget", no, no, no, "Rx Fault Settings", {670, 420, 251, 121}},
    {"button_trshd_apply", Button, "groupBox_12", no, no, no, "Apply", {69, 90, 91, 21}},
    {"layoutWidget3", Widget, "groupBox_12", no, no, no, nullptr, {20, 30, 181, 54}},
    {"gridLayout_10", Grid, "layoutWidget3", no, no, no, nullptr, {}},
    cap("label_29", 0, 0, "Current trshd"),
    {"box_current_trshd", Spin, nullptr, 0, 1, no, nullptr, {}}, cap("label_30", 1, 0, "New trshd"),
    {"box_new_trshd", Spin, nullptr, 1, 1, no, nullptr, {}},
    {"button_default_set", Button, "centralWidget", no, no, no, "Default Set", {730, 570, 111, 21}},
    {"menuBar", MenuBar, "MainWindow", no, no, no, nullptr, {0, 0, 960, 20}},
    {"statusBar", StatusBar, "MainWindow", no, no, no, nullptr, {}},
};
// clang-format on

QString parent_of(int index)
{
    while (!expected_tree[index].parent)
        --index;
    return QString::fromLatin1(expected_tree[index].parent);
}

// The form's objects among the children, without the toolkit's helpers inside compound widgets.
QStringList form_children(const QObject *parent)
{
    static const QRegularExpression toolkit_name(QStringLiteral("^(qt_.*|_layout)?$"));
    QStringList names;
    for (const QObject *child : parent->children())
        if (!toolkit_name.match(child->objectName()).hasMatch())
            names << child->objectName();
    return names;
}

QString text_of(const QObject *object)
{
    if (qobject_cast<const QAbstractSpinBox *>(object))
        return QString(); // its text is its value
    return object->property(qobject_cast<const QGroupBox *>(object) ? "title" : "text").toString();
}

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
        QMainWindow window;
        Ui_MainWindow().setupUi(&window);
        QObject *object = window.findChild<QObject *>(QString::fromLatin1(expected.name));
        QVERIFY(object && object->parent());
        QCOMPARE(object->metaObject()->className(), expected.class_name);
        QCOMPARE(object->parent()->objectName(), parent_of(index));
        QCOMPARE(text_of(object), QString::fromUtf8(expected.text));
        const auto *label = qobject_cast<QLabel *>(object);
        QCOMPARE(label ? int(label->alignment()) : no, expected.alignment);
        if (auto *layout = qobject_cast<QLayout *>(object)) {
            // Installed on its parent; margins 11 in a group box, 0 in a container.
            QCOMPARE(layout->parentWidget()->layout(), layout);
            const int margin = parent_of(index).startsWith("layoutWidget") ? 0 : 11;
            QCOMPARE(layout->contentsMargins(), QMargins() + margin);
            QCOMPARE(layout->spacing(), layout_spacing); // -1 if a grid's two spacings differ
            return;
        }
        auto *widget = qobject_cast<QWidget *>(object);
        QVERIFY(widget && widget->styleSheet().isEmpty());
        if (!expected.geometry.isNull())
            QCOMPARE(widget->geometry(), expected.geometry);
        QLayout *parent_layout = widget->parentWidget()->layout();
        const int item = parent_layout ? parent_layout->indexOf(widget) : -1;
        // The window's own layout holds the central widget and the bars.
        const bool in_window = qobject_cast<QMainWindow *>(widget->parentWidget());
        QCOMPARE(item >= 0 && !in_window, expected.row != no);
        if (expected.row == no)
            return;
        QCOMPARE(int(parent_layout->itemAt(item)->alignment()), 0);
        if (auto *grid = qobject_cast<QGridLayout *>(parent_layout)) {
            int row, column, rows, columns;
            grid->getItemPosition(item, &row, &column, &rows, &columns);
            QCOMPARE(QRect(column, row, columns, rows), QRect(expected.column, expected.row, 1, 1));
        } else {
            QCOMPARE(item, expected.row);
            QCOMPARE(qobject_cast<QBoxLayout *>(parent_layout)->stretch(item), 0);
        }
    }

    void every_form_object_is_listed_in_creation_order()
    {
        QMainWindow window;
        Ui_MainWindow().setupUi(&window);
        QHash<QString, QStringList> expected_children;
        for (int i = 0; i < int(std::size(expected_tree)); ++i)
            expected_children[parent_of(i)] << QString::fromLatin1(expected_tree[i].name);
        // Any form object missing from the table shows up among its parent's children.
        QObjectList all = window.findChildren<QObject *>() << &window;
        for (const QObject *object : all)
            QCOMPARE(form_children(object), expected_children.value(object->objectName()));
    }

    void window_frame_and_group_box_3()
    {
        QMainWindow window;
        Ui_MainWindow ui;
        ui.setupUi(&window);
        QVERIFY(!window.hasMouseTracking() && window.focusPolicy() == Qt::ClickFocus);
        QVERIFY(window.centralWidget() == ui.centralWidget && window.menuBar() == ui.menuBar &&
                window.statusBar() == ui.statusBar);
        for (const QGroupBox *group : window.findChildren<QGroupBox *>())
            QCOMPARE(group->testAttribute(Qt::WA_SetLayoutDirection), group == ui.groupBox_3);
        QCOMPARE(ui.groupBox_3->focusPolicy(), Qt::NoFocus);
    }
};

QTEST_MAIN(Tst_layout)
#include "tst_layout.moc"
