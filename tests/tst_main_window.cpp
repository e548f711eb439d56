#include "support/main_window_probe.h"
#include "support/test_settings.h"

#include <QtSerialPort/QSerialPortInfo>
#include <QtTest/QtTest>

// The state a freshly built window is in before any byte arrives.
class Tst_main_window : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }
    void init() { clear_saved_settings(); }

    void port_list_follows_enumeration();
    void baud_list_carries_rates_as_data();
    void threshold_boxes_have_their_ranges();
    void timers_and_window();
    void gain_controls_start_disabled();
    void closing_the_window_ends_the_event_loop();
};

void Tst_main_window::port_list_follows_enumeration()
{
    MainWindow window;
    Main_window_probe probe(window);
    QComboBox *ports = probe.ui().comboBox_SerialPort;
    const auto available = QSerialPortInfo::availablePorts();
    QCOMPARE(ports->count(), available.size());
    for (int i = 0; i < available.size(); ++i) {
        QCOMPARE(ports->itemText(i), available.at(i).portName());
        QVERIFY(!ports->itemData(i).isValid());
    }
}

void Tst_main_window::baud_list_carries_rates_as_data()
{
    MainWindow window;
    Main_window_probe probe(window);
    QComboBox *rates = probe.ui().comboBox_BaudRate;
    const auto standard = QSerialPortInfo::standardBaudRates();
    QCOMPARE(rates->count(), standard.size());
    for (int i = 0; i < standard.size(); ++i) {
        QCOMPARE(rates->itemText(i), QString::number(standard.at(i)));
        const QVariant data = rates->itemData(i, Qt::UserRole);
        QCOMPARE(data.userType(), int(QMetaType::Int));
        QCOMPARE(data.toInt(), int(standard.at(i)));
    }
}

void Tst_main_window::threshold_boxes_have_their_ranges()
{
    MainWindow window;
    Main_window_probe probe(window);
    for (QSpinBox *box : {probe.ui().box_new_trshd, probe.ui().box_current_trshd}) {
        QCOMPARE(box->minimum(), -35);
        QCOMPARE(box->maximum(), 0);
        QCOMPARE(box->suffix(), QStringLiteral(" dBm"));
        QCOMPARE(box->value(), 0);
    }
    QVERIFY(probe.ui().box_new_trshd->isEnabled());
    QVERIFY(!probe.ui().box_current_trshd->isEnabled());
}

void Tst_main_window::timers_and_window()
{
    MainWindow window;
    Main_window_probe probe(window);
    QVERIFY(probe.watchdog_timer().isActive());
    QCOMPARE(probe.watchdog_timer().interval(), 1000);
    QVERIFY(!probe.watchdog_timer().isSingleShot());
    QVERIFY(!probe.monotone_timer().isActive());
    QCOMPARE(probe.watchdog_timer().parent(), &window);
    QCOMPARE(probe.monotone_timer().parent(), &window);

    QCOMPARE(window.size(), QSize(960, 653));
    QCOMPARE(window.windowTitle(), QStringLiteral("Velmar Serial Port"));
    QVERIFY(window.menuBar()->actions().isEmpty());
    QCOMPARE(window.pos(), QPoint(200, 200));
    QVERIFY(!probe.crc_ok());
    QCOMPARE(probe.rx_byte_count(), 0);
    QCOMPARE(int(probe.rx_trshd()), 0);
}

void Tst_main_window::gain_controls_start_disabled()
{
    MainWindow window;
    Main_window_probe probe(window);
    QVERIFY(!probe.ui().box_gain_0->isEnabled());
    QVERIFY(!probe.ui().box_gain_1->isEnabled());
    QVERIFY(!probe.ui().button_reading_gain->isEnabled());
    QVERIFY(probe.ui().button_trshd_apply->isEnabled());
    QVERIFY(probe.ui().button_default_set->isEnabled());
    // No port opened and no selection: the port label says so.
    if (probe.ui().comboBox_SerialPort->count() == 0) {
        QCOMPARE(probe.ui().label_SerialPort_Ok->text(), QStringLiteral("--"));
        QCOMPARE(probe.ui().label_SerialPort_Ok->styleSheet(), QStringLiteral("color : grey"));
    }
}

void Tst_main_window::closing_the_window_ends_the_event_loop()
{
    auto *window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTimer::singleShot(0, window, &QWidget::close);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(99); });
    watchdog.start(10000);
    QCOMPARE(QCoreApplication::exec(), 0);
    delete window;
}

QTEST_MAIN(Tst_main_window)
#include "tst_main_window.moc"
