// Checks the widget tree that Ui_MainWindow builds against the intended window
// layout, object by object. The expected tree below is written out by hand on
// purpose: the test has to catch a form that drifted, so it must not be
// derived from the form.

#include "ui_mainwindow.h"

#include <QtCore/QMetaProperty>
#include <QtCore/QSet>
#include <QtCore/QStringList>
#include <QtCore/QTranslator>
#include <QtGui/QIcon>
#include <QtGui/QPixmap>
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

#include <functional>
#include <memory>

namespace {

constexpr int no_cell = -1;
constexpr int not_a_label = -1;
constexpr int align_r = Qt::AlignRight | Qt::AlignVCenter;
constexpr int align_l = Qt::AlignLeft | Qt::AlignVCenter;
constexpr int layout_spacing = 6;
constexpr int group_margin = 11;
constexpr int container_margin = 0;
constexpr QSize window_size(960, 653);
constexpr QRect menu_bar_geometry(0, 0, 960, 20);
const char *const window_name = "MainWindow";
const char *const window_title = "Velmar Serial Port";
const char *const translation_context = "MainWindow";

struct Expected_object
{
    const char *name;
    const char *class_name;
    const char *parent;
    int row;          // grid row, or the index in a box layout; no_cell when placed by geometry
    int column;       // grid column; no_cell in a box layout or when placed by geometry
    int alignment;    // label alignment; not_a_label for every other class
    const char *text; // label text, button text or group title; nullptr when none is set
    QRect geometry;   // null when a layout places the object
};

// In creation order, which is also the order of the holder's members.
const Expected_object expected_tree[] = {
    {"centralWidget", "QWidget", "MainWindow", no_cell, no_cell, not_a_label, nullptr, {}},

    {"groupBox", "QGroupBox", "centralWidget", no_cell, no_cell, not_a_label, "Serial Port",
     QRect(40, 20, 191, 111)},
    {"gridLayout_2", "QGridLayout", "groupBox", no_cell, no_cell, not_a_label, nullptr, {}},
    {"label_2", "QLabel", "groupBox", 1, 0, align_r, "Port Name:", {}},
    {"comboBox_SerialPort", "QComboBox", "groupBox", 1, 1, not_a_label, nullptr, {}},
    {"label_SerialPort_Ok", "QLabel", "groupBox", 1, 2, align_l, "--", {}},
    {"label_3", "QLabel", "groupBox", 2, 0, align_r, "BaudRate:", {}},
    {"comboBox_BaudRate", "QComboBox", "groupBox", 2, 1, not_a_label, nullptr, {}},
    {"button_rescan", "QPushButton", "groupBox", 0, 0, not_a_label, "Rescan", {}},

    {"groupBox_2", "QGroupBox", "centralWidget", no_cell, no_cell, not_a_label, "Status",
     QRect(240, 20, 401, 111)},
    {"gridLayout", "QGridLayout", "groupBox_2", no_cell, no_cell, not_a_label, nullptr, {}},
    {"label_15", "QLabel", "groupBox_2", 0, 0, align_r, "RX Fault:", {}},
    {"label_rx_fault", "QLabel", "groupBox_2", 0, 1, align_l, "--", {}},
    {"label_18", "QLabel", "groupBox_2", 0, 2, align_r, "SFP 1:", {}},
    {"label_sfp1_present", "QLabel", "groupBox_2", 0, 3, align_l, "--", {}},
    {"label_23", "QLabel", "groupBox_2", 0, 4, align_r, "Link P1:", {}},
    {"label_link_p1", "QLabel", "groupBox_2", 0, 5, align_l, "--", {}},
    {"label_16", "QLabel", "groupBox_2", 1, 0, align_r, "TX Fault:", {}},
    {"label_tx_fault", "QLabel", "groupBox_2", 1, 1, align_l, "--", {}},
    {"label_19", "QLabel", "groupBox_2", 1, 2, align_r, "SFP 2:", {}},
    {"label_sfp2_present", "QLabel", "groupBox_2", 1, 3, align_l, "--", {}},
    {"label_21", "QLabel", "groupBox_2", 1, 4, align_r, "Link P2:", {}},
    {"label_link_p2", "QLabel", "groupBox_2", 1, 5, align_l, "--", {}},
    {"label_17", "QLabel", "groupBox_2", 2, 0, align_r, "Overheat:", {}},
    {"label_overheat", "QLabel", "groupBox_2", 2, 1, align_l, "--", {}},
    {"label_20", "QLabel", "groupBox_2", 2, 2, align_r, "SFP Eth:", {}},
    {"label_sfp_eth_present", "QLabel", "groupBox_2", 2, 3, align_l, "--", {}},
    {"label_22", "QLabel", "groupBox_2", 2, 4, align_r, "Link F:", {}},
    {"label_link_f", "QLabel", "groupBox_2", 2, 5, align_l, "--", {}},

    {"groupBox_3", "QGroupBox", "centralWidget", no_cell, no_cell, not_a_label, "SFP 1",
     QRect(40, 200, 181, 341)},
    {"gridLayout_4", "QGridLayout", "groupBox_3", no_cell, no_cell, not_a_label, nullptr, {}},
    {"label_sfp1_wl2", "QLabel", "groupBox_3", 7, 1, align_l, "--", {}},
    {"label_sfp1_wl2_text", "QLabel", "groupBox_3", 7, 0, align_r, "WaveLen 2:", {}},
    {"label_sfp1_wl1_text", "QLabel", "groupBox_3", 5, 0, align_r, "WaveLen 1:", {}},
    {"label_sfp1_temp_text", "QLabel", "groupBox_3", 14, 0, align_r, "Temp:", {}},
    {"label_sfp1_temp", "QLabel", "groupBox_3", 14, 1, align_l, "--", {}},
    {"label_sfp1_rxpwr1_text", "QLabel", "groupBox_3", 9, 0, align_r, "Power Rx1:", {}},
    {"label_sfp1_rxpwr2_text", "QLabel", "groupBox_3", 12, 0, align_r, "Power Rx2:", {}},
    {"label_sfp1_wl1", "QLabel", "groupBox_3", 5, 1, align_l, "--", {}},
    {"label_8", "QLabel", "groupBox_3", 0, 0, align_r, "Type:", {}},
    {"label_sfp1_ch2_text", "QLabel", "groupBox_3", 2, 0, align_r, "Channel 2:", {}},
    {"label_sfp1_ch1_text", "QLabel", "groupBox_3", 1, 0, align_r, "Channel 1:", {}},
    {"label_sfp1_chanel_1", "QLabel", "groupBox_3", 1, 1, align_l, "--", {}},
    {"label_sfp1_type", "QLabel", "groupBox_3", 0, 1, align_l, "--", {}},
    {"label_sfp1_chanel_2", "QLabel", "groupBox_3", 2, 1, align_l, "--", {}},
    {"label_sfp1_txpwr1_text", "QLabel", "groupBox_3", 4, 0, align_r, "Power Tx1:", {}},
    {"label_sfp1_tx_pwr_2", "QLabel", "groupBox_3", 6, 1, align_l, "--", {}},
    {"label_sfp1_tx_pwr_1", "QLabel", "groupBox_3", 4, 1, align_l, "--", {}},
    {"label_sfp1_txpwr2_text", "QLabel", "groupBox_3", 6, 0, align_r, "Power Tx2:", {}},
    {"label_sfp1_rx_pwr_1", "QLabel", "groupBox_3", 9, 1, align_l, "--", {}},
    {"label_sfp1_rx_pwr_2", "QLabel", "groupBox_3", 12, 1, align_l, "--", {}},

    {"groupBox_4", "QGroupBox", "centralWidget", no_cell, no_cell, not_a_label, "SFP 2",
     QRect(250, 200, 181, 341)},
    {"gridLayout_5", "QGridLayout", "groupBox_4", no_cell, no_cell, not_a_label, nullptr, {}},
    {"label_sfp2_rx_pwr_2", "QLabel", "groupBox_4", 12, 1, align_l, "--", {}},
    {"label_sfp2_rxpwr2_text", "QLabel", "groupBox_4", 12, 0, align_r, "Power Rx2:", {}},
    {"label_sfp2_rxpwr1_text", "QLabel", "groupBox_4", 10, 0, align_r, "Power Rx1:", {}},
    {"label_sfp2_rx_pwr_1", "QLabel", "groupBox_4", 10, 1, align_l, "--", {}},
    {"label_sfp2_wl1_text", "QLabel", "groupBox_4", 6, 0, align_r, "WaveLen 1:", {}},
    {"label_sfp2_wl1", "QLabel", "groupBox_4", 6, 1, align_l, "--", {}},
    {"label_sfp2_chanel_1", "QLabel", "groupBox_4", 1, 1, align_l, "--", {}},
    {"label_sfp2_type", "QLabel", "groupBox_4", 0, 1, align_l, "--", {}},
    {"label_sfp2_chanel_2", "QLabel", "groupBox_4", 2, 1, align_l, "--", {}},
    {"label_11", "QLabel", "groupBox_4", 0, 0, align_r, "Type:", {}},
    {"label_sfp2_ch1_text", "QLabel", "groupBox_4", 1, 0, align_r, "Channel 1:", {}},
    {"label_sfp2_ch2_text", "QLabel", "groupBox_4", 2, 0, align_r, "Channel 2:", {}},
    {"label_sfp2_txpwr2_text", "QLabel", "groupBox_4", 7, 0, align_r, "Power Tx2:", {}},
    {"label_sfp2_tx_pwr_1", "QLabel", "groupBox_4", 4, 1, align_l, "--", {}},
    {"label_sfp2_txpwr1_text", "QLabel", "groupBox_4", 4, 0, align_r, "Power Tx1:", {}},
    {"label_sfp2_temp_text", "QLabel", "groupBox_4", 14, 0, align_r, "Temp:", {}},
    {"label_sfp2_temp", "QLabel", "groupBox_4", 14, 1, align_l, "--", {}},
    {"label_sfp2_tx_pwr_2", "QLabel", "groupBox_4", 7, 1, align_l, "--", {}},
    {"label_sfp2_wl2_text", "QLabel", "groupBox_4", 8, 0, align_r, "WaveLen 2:", {}},
    {"label_sfp2_wl2", "QLabel", "groupBox_4", 8, 1, align_l, "--", {}},

    {"groupBox_5", "QGroupBox", "centralWidget", no_cell, no_cell, not_a_label, "SFP Eth",
     QRect(470, 200, 171, 341)},
    {"gridLayout_6", "QGridLayout", "groupBox_5", no_cell, no_cell, not_a_label, nullptr, {}},
    {"label_sfp_eth_rx_pwr_2", "QLabel", "groupBox_5", 12, 1, align_l, "--", {}},
    {"label_sfp_eth_rx_pwr_1", "QLabel", "groupBox_5", 9, 1, align_l, "--", {}},
    {"label_sfp_eth_txpwr2_text", "QLabel", "groupBox_5", 7, 0, align_r, "Power Tx2:", {}},
    {"label_sfp_eth_tx_pwr_2", "QLabel", "groupBox_5", 7, 1, align_l, "--", {}},
    {"label_sfp_eth_txpwr1_text", "QLabel", "groupBox_5", 4, 0, align_r, "Power Tx1:", {}},
    {"label_sfp_eth_temp_text", "QLabel", "groupBox_5", 14, 0, align_r, "Temp:", {}},
    {"label_sfp_eth_tx_pwr_1", "QLabel", "groupBox_5", 4, 1, align_l, "--", {}},
    {"label_sfp_eth_temp", "QLabel", "groupBox_5", 14, 1, align_l, "--", {}},
    {"label_sfp_eth_rxpwr2_text", "QLabel", "groupBox_5", 12, 0, align_r, "Power Rx2:", {}},
    {"label_sfp_eth_rxpwr1_text", "QLabel", "groupBox_5", 9, 0, align_r, "Power Rx1:", {}},
    {"label_sfp_eth_chanel_1", "QLabel", "groupBox_5", 1, 1, align_l, "--", {}},
    {"label_sfp_eth_ch2_text", "QLabel", "groupBox_5", 2, 0, align_r, "Channel 2:", {}},
    {"label_sfp_eth_type", "QLabel", "groupBox_5", 0, 1, align_l, "--", {}},
    {"label_sfp_eth_ch1_text", "QLabel", "groupBox_5", 1, 0, align_r, "Channel 1:", {}},
    {"label_14", "QLabel", "groupBox_5", 0, 0, align_r, "Type:", {}},
    {"label_sfp_eth_chanel_2", "QLabel", "groupBox_5", 2, 1, align_l, "--", {}},
    {"label_sfp_eth_wl1_text", "QLabel", "groupBox_5", 5, 0, align_r, "WaveLen 1:", {}},
    {"label_sfp_eth_wl1", "QLabel", "groupBox_5", 5, 1, align_l, "--", {}},
    {"label_sfp_eth_wl2_text", "QLabel", "groupBox_5", 8, 0, align_r, "WaveLen 2:", {}},
    {"label_sfp_eth_wl2", "QLabel", "groupBox_5", 8, 1, align_l, "--", {}},

    {"groupBox_6", "QGroupBox", "centralWidget", no_cell, no_cell, not_a_label, "Inputs / Outputs",
     QRect(40, 140, 601, 51)},
    {"gridLayout_3", "QGridLayout", "groupBox_6", no_cell, no_cell, not_a_label, nullptr, {}},
    {"label_in_out_1", "QLabel", "groupBox_6", 0, 0, align_r, "---:", {}},
    {"label_lock_1", "QLabel", "groupBox_6", 0, 1, align_l, "--", {}},
    {"label_in_out_2", "QLabel", "groupBox_6", 0, 2, align_r, "---:", {}},
    {"label_lock_2", "QLabel", "groupBox_6", 0, 3, align_l, "--", {}},
    {"label_in_out_3", "QLabel", "groupBox_6", 0, 4, align_r, "---:", {}},
    {"label_lock_3", "QLabel", "groupBox_6", 0, 5, align_l, "--", {}},
    {"label_in_out_4", "QLabel", "groupBox_6", 0, 6, align_r, "---:", {}},
    {"label_lock_4", "QLabel", "groupBox_6", 0, 7, align_l, "--", {}},

    {"groupBox_7", "QGroupBox", "centralWidget", no_cell, no_cell, not_a_label, "Info",
     QRect(40, 550, 601, 54)},
    {"horizontalLayout", "QHBoxLayout", "groupBox_7", no_cell, no_cell, not_a_label, nullptr, {}},
    {"label_24", "QLabel", "groupBox_7", 0, no_cell, align_r, "CRC control:", {}},
    {"label_crc_ctrl", "QLabel", "groupBox_7", 1, no_cell, align_l, "--", {}},
    {"label_25", "QLabel", "groupBox_7", 2, no_cell, align_r, "Protocol version:", {}},
    {"label_protocol_ver", "QLabel", "groupBox_7", 3, no_cell, align_l, "--", {}},
    {"label_26", "QLabel", "groupBox_7", 4, no_cell, align_r, "Receivig status:", {}},
    {"label_receiving_status", "QLabel", "groupBox_7", 5, no_cell, align_l, "--", {}},

    {"groupBox_8", "QGroupBox", "centralWidget", no_cell, no_cell, not_a_label, "Dante",
     QRect(670, 19, 251, 391)},
    {"groupBox_9", "QGroupBox", "groupBox_8", no_cell, no_cell, not_a_label, "Status",
     QRect(20, 30, 181, 91)},
    {"layoutWidget", "QWidget", "groupBox_9", no_cell, no_cell, not_a_label, nullptr,
     QRect(0, 21, 141, 53)},
    {"gridLayout_7", "QGridLayout", "layoutWidget", no_cell, no_cell, not_a_label, nullptr, {}},
    {"label_31", "QLabel", "layoutWidget", 0, 0, align_r, "System:", {}},
    {"label_system", "QLabel", "layoutWidget", 0, 1, align_r, "--", {}},
    {"label_32", "QLabel", "layoutWidget", 1, 0, align_r, "Sync:", {}},
    {"label_sync", "QLabel", "layoutWidget", 1, 1, align_r, "--", {}},
    {"label_36", "QLabel", "layoutWidget", 2, 0, align_r, "Link:", {}},
    {"label_dante_link", "QLabel", "layoutWidget", 2, 1, align_r, "--", {}},
    {"groupBox_10", "QGroupBox", "groupBox_8", no_cell, no_cell, not_a_label, "Gain",
     QRect(20, 220, 181, 151)},
    {"button_reading_gain", "QPushButton", "groupBox_10", no_cell, no_cell, not_a_label,
     "Reading gain", QRect(30, 120, 131, 21)},
    {"layoutWidget1", "QWidget", "groupBox_10", no_cell, no_cell, not_a_label, nullptr,
     QRect(0, 30, 141, 73)},
    {"gridLayout_9", "QGridLayout", "layoutWidget1", no_cell, no_cell, not_a_label, nullptr, {}},
    {"label_27", "QLabel", "layoutWidget1", 0, 0, align_r, "Mic 1", {}},
    {"box_gain_0", "QDoubleSpinBox", "layoutWidget1", 0, 1, not_a_label, nullptr, {}},
    {"label_28", "QLabel", "layoutWidget1", 1, 0, align_r, "Mic 2", {}},
    {"box_gain_1", "QDoubleSpinBox", "layoutWidget1", 1, 1, not_a_label, nullptr, {}},
    {"label_33", "QLabel", "layoutWidget1", 2, 0, align_r, "Type", {}},
    {"label_mic_type", "QLabel", "layoutWidget1", 2, 1, align_r, "--", {}},
    {"groupBox_11", "QGroupBox", "groupBox_8", no_cell, no_cell, not_a_label, "Audio inputs type",
     QRect(20, 130, 181, 81)},
    {"layoutWidget2", "QWidget", "groupBox_11", no_cell, no_cell, not_a_label, nullptr,
     QRect(0, 30, 141, 34)},
    {"gridLayout_8", "QGridLayout", "layoutWidget2", no_cell, no_cell, not_a_label, nullptr, {}},
    {"label_34", "QLabel", "layoutWidget2", 0, 0, align_r, "Input 1:", {}},
    {"label_input_0", "QLabel", "layoutWidget2", 0, 1, align_r, "--", {}},
    {"label_35", "QLabel", "layoutWidget2", 1, 0, align_r, "Input 2:", {}},
    {"label_input_1", "QLabel", "layoutWidget2", 1, 1, align_r, "--", {}},

    {"groupBox_12", "QGroupBox", "centralWidget", no_cell, no_cell, not_a_label,
     "Rx Fault Settings", QRect(670, 420, 251, 121)},
    {"button_trshd_apply", "QPushButton", "groupBox_12", no_cell, no_cell, not_a_label, "Apply",
     QRect(69, 90, 91, 21)},
    {"layoutWidget3", "QWidget", "groupBox_12", no_cell, no_cell, not_a_label, nullptr,
     QRect(20, 30, 181, 54)},
    {"gridLayout_10", "QGridLayout", "layoutWidget3", no_cell, no_cell, not_a_label, nullptr, {}},
    {"label_29", "QLabel", "layoutWidget3", 0, 0, align_r, "Current trshd", {}},
    {"box_current_trshd", "QSpinBox", "layoutWidget3", 0, 1, not_a_label, nullptr, {}},
    {"label_30", "QLabel", "layoutWidget3", 1, 0, align_r, "New trshd", {}},
    {"box_new_trshd", "QSpinBox", "layoutWidget3", 1, 1, not_a_label, nullptr, {}},

    {"button_default_set", "QPushButton", "centralWidget", no_cell, no_cell, not_a_label,
     "Default Set", QRect(730, 570, 111, 21)},

    {"menuBar", "QMenuBar", "MainWindow", no_cell, no_cell, not_a_label, nullptr,
     menu_bar_geometry},
    {"statusBar", "QStatusBar", "MainWindow", no_cell, no_cell, not_a_label, nullptr, {}},
};

struct Expected_layout
{
    const char *name;
    int margin;
};

const Expected_layout expected_layouts[] = {
    {"gridLayout_2", group_margin},      {"gridLayout", group_margin},
    {"gridLayout_4", group_margin},      {"gridLayout_5", group_margin},
    {"gridLayout_6", group_margin},      {"gridLayout_3", group_margin},
    {"horizontalLayout", group_margin},  {"gridLayout_7", container_margin},
    {"gridLayout_9", container_margin},  {"gridLayout_8", container_margin},
    {"gridLayout_10", container_margin},
};

// Properties the form legitimately sets; every other writable property must
// keep the value a freshly constructed object of the same class has. Layout
// spacing and margins are checked on their own.
const QSet<QByteArray> &properties_set_by_form()
{
    // Qt 5 exposes a layout's margins as "margin", Qt 6 as "contentsMargins".
    static const QSet<QByteArray> names = {"objectName", "geometry",       "pos",       "size",
                                           "text",       "title",          "alignment", "spacing",
                                           "margin",     "contentsMargins"};
    return names;
}

struct Built_window
{
    QMainWindow window;
    Ui_MainWindow ui;

    Built_window() { ui.setupUi(&window); }
};

const Expected_object *find_expected(const QString &name)
{
    for (const Expected_object &object : expected_tree) {
        if (name == QLatin1String(object.name))
            return &object;
    }
    return nullptr;
}

// Names of the objects the form creates; the toolkit's own helpers inside
// compound widgets are either unnamed or carry a "qt_" prefix.
bool is_form_object(const QObject *object)
{
    const QString name = object->objectName();
    return !name.isEmpty() && !name.startsWith(QLatin1String("qt_")) &&
           name != QLatin1String("_layout");
}

QStringList form_children_names(const QObject *parent)
{
    QStringList names;
    for (const QObject *child : parent->children()) {
        if (is_form_object(child))
            names << child->objectName();
    }
    return names;
}

std::unique_ptr<QObject> make_fresh(const QByteArray &class_name, QWidget *holder)
{
    static const QHash<QByteArray, std::function<QObject *(QWidget *)>> factories = {
        {"QWidget", [](QWidget *p) { return new QWidget(p); }},
        {"QGroupBox", [](QWidget *p) { return new QGroupBox(p); }},
        {"QLabel", [](QWidget *p) { return new QLabel(p); }},
        {"QComboBox", [](QWidget *p) { return new QComboBox(p); }},
        {"QPushButton", [](QWidget *p) { return new QPushButton(p); }},
        {"QSpinBox", [](QWidget *p) { return new QSpinBox(p); }},
        {"QDoubleSpinBox", [](QWidget *p) { return new QDoubleSpinBox(p); }},
        {"QMenuBar", [](QWidget *p) { return new QMenuBar(p); }},
        {"QStatusBar", [](QWidget *p) { return new QStatusBar(p); }},
        {"QGridLayout", [](QWidget *) { return new QGridLayout; }},
        {"QHBoxLayout", [](QWidget *) { return new QHBoxLayout; }},
    };
    const auto factory = factories.constFind(class_name);
    return std::unique_ptr<QObject>(factory == factories.constEnd() ? nullptr : (*factory)(holder));
}

// QIcon and QPixmap have no equality (Qt 6's QVariant then reports every pair
// as different); two of them count as equal when they share their data.
bool same_value(const QVariant &a, const QVariant &b)
{
    if (a.userType() == QMetaType::QIcon && b.userType() == QMetaType::QIcon)
        return a.value<QIcon>().cacheKey() == b.value<QIcon>().cacheKey();
    if (a.userType() == QMetaType::QPixmap && b.userType() == QMetaType::QPixmap)
        return a.value<QPixmap>().cacheKey() == b.value<QPixmap>().cacheKey();
    return a == b;
}

QStringList properties_differing_from_fresh(const QObject *object, const QObject *fresh,
                                            const QSet<QByteArray> &allowed)
{
    QStringList differing;
    const QMetaObject *meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!property.isWritable() || allowed.contains(property.name()))
            continue;
        if (!same_value(property.read(object), property.read(fresh)))
            differing << QString::fromLatin1(property.name());
    }
    return differing;
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

// Records every lookup the form makes so the test can see which texts went
// through translation and in which order; it translates nothing.
class Recording_translator : public QTranslator
{
public:
    struct Lookup
    {
        QByteArray context;
        QString source;
        bool has_disambiguation;
        int n;
    };

    QString translate(const char *context, const char *source, const char *disambiguation,
                      int n) const override
    {
        lookups.append({context, QString::fromUtf8(source), disambiguation != nullptr, n});
        return QString();
    }
    bool isEmpty() const override { return false; }

    mutable QVector<Lookup> lookups;
};

} // namespace

class Tst_layout : public QObject
{
    Q_OBJECT

private slots:
    void object_matches_layout_data();
    void object_matches_layout();
    void every_form_object_is_listed_in_creation_order();
    void layout_spacing_and_margins_data();
    void layout_spacing_and_margins();
    void window_frame();
    void only_sfp1_group_sets_extra_properties();
    void no_widget_has_a_style_sheet();
    void texts_are_translated_in_creation_order();
    void focus_chain_follows_creation_order();
};

void Tst_layout::object_matches_layout_data()
{
    QTest::addColumn<QString>("class_name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("geometry");

    for (const Expected_object &object : expected_tree) {
        QTest::newRow(object.name)
            << QString::fromLatin1(object.class_name) << QString::fromLatin1(object.parent)
            << object.row << object.column << object.alignment << QString::fromUtf8(object.text)
            << object.geometry;
    }
}

void Tst_layout::object_matches_layout()
{
    QFETCH(QString, class_name);
    QFETCH(QString, parent);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, alignment);
    QFETCH(QString, text);
    QFETCH(QRect, geometry);

    Built_window built;
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    QObject *object = built.window.findChild<QObject *>(name);
    QVERIFY2(object, qPrintable(name));
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), class_name);
    QVERIFY(object->parent());
    QCOMPARE(object->parent()->objectName(), parent);

    auto *widget = qobject_cast<QWidget *>(object);
    QVERIFY(widget || qobject_cast<QLayout *>(object));
    if (auto *layout = qobject_cast<QLayout *>(object)) {
        // A layout is installed on the widget that parents it.
        QCOMPARE(layout->parentWidget()->layout(), layout);
    } else if (qobject_cast<QMainWindow *>(widget->parentWidget())) {
        // The window's own layout holds the central widget and the bars.
        QCOMPARE(row, no_cell);
    } else if (row == no_cell) {
        QLayout *parent_layout = widget->parentWidget()->layout();
        QVERIFY(!parent_layout || parent_layout->indexOf(widget) < 0);
    } else {
        QLayout *parent_layout = widget->parentWidget()->layout();
        QVERIFY(parent_layout);
        const int index = parent_layout->indexOf(widget);
        QVERIFY(index >= 0);
        QCOMPARE(int(parent_layout->itemAt(index)->alignment()), 0);
        if (auto *grid = qobject_cast<QGridLayout *>(parent_layout)) {
            QVERIFY(column != no_cell);
            int r = -1, c = -1, row_span = -1, column_span = -1;
            grid->getItemPosition(index, &r, &c, &row_span, &column_span);
            QCOMPARE(r, row);
            QCOMPARE(c, column);
            QCOMPARE(row_span, 1);
            QCOMPARE(column_span, 1);
        } else {
            auto *box = qobject_cast<QBoxLayout *>(parent_layout);
            QVERIFY(box);
            QCOMPARE(column, no_cell);
            QCOMPARE(index, row);
            QCOMPARE(box->stretch(index), 0);
        }
    }

    if (!geometry.isNull())
        QCOMPARE(widget->geometry(), geometry);
    if (auto *label = qobject_cast<QLabel *>(object))
        QCOMPARE(int(label->alignment()), alignment);
    else
        QCOMPARE(alignment, not_a_label);
    QCOMPARE(text_of(object), text);
    // groupBox_3's explicit properties all hold their default values, so the
    // comparison with a fresh object covers it too.
    QWidget holder;
    std::unique_ptr<QObject> fresh = make_fresh(class_name.toLatin1(), &holder);
    QVERIFY2(fresh, qPrintable(class_name));
    QCOMPARE(object->dynamicPropertyNames(), fresh->dynamicPropertyNames());
    const QStringList differing =
        properties_differing_from_fresh(object, fresh.get(), properties_set_by_form());
    QVERIFY2(differing.isEmpty(), qPrintable(differing.join(QLatin1String(", "))));
}

void Tst_layout::every_form_object_is_listed_in_creation_order()
{
    Built_window built;
    QStringList unlisted;
    for (const QObject *object : built.window.findChildren<QObject *>()) {
        if (is_form_object(object) && !find_expected(object->objectName()))
            unlisted << object->objectName();
    }
    QVERIFY2(unlisted.isEmpty(), qPrintable(unlisted.join(QLatin1String(", "))));

    QMap<QString, QStringList> expected_children;
    for (const Expected_object &object : expected_tree)
        expected_children[QString::fromLatin1(object.parent)] << QString::fromLatin1(object.name);
    for (auto it = expected_children.cbegin(); it != expected_children.cend(); ++it) {
        const QObject *parent = it.key() == QLatin1String(window_name)
                                    ? &built.window
                                    : built.window.findChild<QObject *>(it.key());
        QVERIFY2(parent, qPrintable(it.key()));
        QCOMPARE(form_children_names(parent), it.value());
    }
}

void Tst_layout::layout_spacing_and_margins_data()
{
    QTest::addColumn<int>("margin");
    for (const Expected_layout &layout : expected_layouts)
        QTest::newRow(layout.name) << layout.margin;
}

void Tst_layout::layout_spacing_and_margins()
{
    QFETCH(int, margin);
    Built_window built;
    const auto *layout = built.window.findChild<QLayout *>(QTest::currentDataTag());
    QVERIFY(layout);
    QCOMPARE(layout->spacing(), layout_spacing);
    QCOMPARE(layout->contentsMargins(), QMargins(margin, margin, margin, margin));
    if (const auto *grid = qobject_cast<const QGridLayout *>(layout)) {
        QCOMPARE(grid->horizontalSpacing(), layout_spacing);
        QCOMPARE(grid->verticalSpacing(), layout_spacing);
    }
}

void Tst_layout::window_frame()
{
    Built_window built;
    const QMainWindow &window = built.window;
    QCOMPARE(window.objectName(), QString::fromLatin1(window_name));
    QCOMPARE(window.size(), window_size);
    QCOMPARE(window.windowTitle(), QString::fromLatin1(window_title));
    QVERIFY(!window.hasMouseTracking());
    QCOMPARE(window.focusPolicy(), Qt::ClickFocus);
    QCOMPARE(window.centralWidget(), built.ui.centralWidget);
    QVERIFY(!built.ui.centralWidget->layout());

    QCOMPARE(window.menuBar(), built.ui.menuBar);
    QCOMPARE(built.ui.menuBar->geometry(), menu_bar_geometry);
    QVERIFY(built.ui.menuBar->actions().isEmpty());

    QCOMPARE(window.statusBar(), built.ui.statusBar);
    QVERIFY(built.ui.statusBar->currentMessage().isEmpty());
    QVERIFY(window.dynamicPropertyNames().isEmpty());

    QMainWindow fresh;
    const QSet<QByteArray> set_on_window = {"objectName",  "geometry",      "pos",        "size",
                                            "windowTitle", "mouseTracking", "focusPolicy"};
    const QStringList differing = properties_differing_from_fresh(&window, &fresh, set_on_window);
    QVERIFY2(differing.isEmpty(), qPrintable(differing.join(QLatin1String(", "))));
}

void Tst_layout::only_sfp1_group_sets_extra_properties()
{
    Built_window built;
    const QGroupBox *sfp1 = built.ui.groupBox_3;
    QCOMPARE(sfp1->focusPolicy(), Qt::NoFocus);
    QCOMPARE(sfp1->layoutDirection(), Qt::LeftToRight);
    QVERIFY(!sfp1->autoFillBackground());
    QVERIFY(!sfp1->isFlat());
    QVERIFY(!sfp1->isCheckable());

    // Those values are the defaults, so only the explicit layout direction
    // leaves a trace that tells groupBox_3 apart from the other groups.
    for (const QGroupBox *group : built.window.findChildren<QGroupBox *>()) {
        QCOMPARE(group->testAttribute(Qt::WA_SetLayoutDirection), group == sfp1);
    }
}

void Tst_layout::no_widget_has_a_style_sheet()
{
    Built_window built;
    QVERIFY(built.window.styleSheet().isEmpty());
    for (const QWidget *widget : built.window.findChildren<QWidget *>())
        QVERIFY2(widget->styleSheet().isEmpty(), qPrintable(widget->objectName()));
}

void Tst_layout::texts_are_translated_in_creation_order()
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

    QStringList translated;
    for (const Recording_translator::Lookup &lookup : qAsConst(translator.lookups)) {
        if (lookup.context != translation_context)
            continue;
        QVERIFY(!lookup.has_disambiguation);
        QCOMPARE(lookup.n, -1);
        translated << lookup.source;
    }
    QCOMPARE(translated, expected);
}

void Tst_layout::focus_chain_follows_creation_order()
{
    Built_window built;
    QStringList expected;
    QSet<QWidget *> focusable;
    for (const Expected_object &object : expected_tree) {
        auto *widget = built.window.findChild<QWidget *>(QString::fromLatin1(object.name));
        if (qobject_cast<QComboBox *>(widget) || qobject_cast<QAbstractButton *>(widget) ||
            qobject_cast<QAbstractSpinBox *>(widget)) {
            expected << widget->objectName();
            focusable.insert(widget);
        }
    }

    QStringList chain;
    for (QWidget *widget = built.window.nextInFocusChain(); widget != &built.window;
         widget = widget->nextInFocusChain()) {
        if (focusable.contains(widget))
            chain << widget->objectName();
    }
    QCOMPARE(chain, expected);
}

QTEST_MAIN(Tst_layout)
#include "tst_layout.moc"
