#include "support/pty_window.h"
#include "support/test_settings.h"

#include <QtSerialPort/QSerialPortInfo>
#include <QtTest/QtTest>

// The state a freshly built window is in before any byte arrives, and its end.
class Tst_main_window : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void lists_follow_the_host()
    {
        const auto w = make_window_without_port();
        QComboBox *ports = w->probe.ui().comboBox_SerialPort;
        const auto available = QSerialPortInfo::availablePorts();
        QCOMPARE(ports->count(), available.size());
        for (int i = 0; i < available.size(); ++i) {
            QCOMPARE(ports->itemText(i), available.at(i).portName());
            QVERIFY(!ports->itemData(i).isValid());
        }
        QComboBox *rates = w->probe.ui().comboBox_BaudRate;
        const auto standard = QSerialPortInfo::standardBaudRates();
        QCOMPARE(rates->count(), standard.size());
        for (int i = 0; i < standard.size(); ++i) {
            QCOMPARE(rates->itemText(i), QString::number(standard.at(i)));
            const QVariant data = rates->itemData(i, Qt::UserRole);
            QCOMPARE(data.userType(), int(QMetaType::Int));
            QCOMPARE(data.toInt(), int(standard.at(i)));
        }
    }

    void controls_timers_and_window()
    {
        const auto w = make_window_without_port();
        const Ui::MainWindow &ui = w->probe.ui();
        for (QSpinBox *box : {ui.box_new_trshd, ui.box_current_trshd}) {
            QCOMPARE(box->minimum(), -35);
            QCOMPARE(box->maximum(), 0);
            QCOMPARE(box->suffix(), QStringLiteral(" dBm"));
            QCOMPARE(box->value(), 0);
        }
        QVERIFY(ui.box_new_trshd->isEnabled() && ui.button_trshd_apply->isEnabled());
        QVERIFY(!ui.box_current_trshd->isEnabled());
        QVERIFY(!ui.box_gain_0->isEnabled() && !ui.box_gain_1->isEnabled());
        QVERIFY(!ui.button_reading_gain->isEnabled());

        QTimer &watchdog = w->probe.watchdog_timer();
        QVERIFY(watchdog.isActive() && !watchdog.isSingleShot());
        QCOMPARE(watchdog.interval(), 1000);
        QVERIFY(!w->probe.monotone_timer().isActive());
        QCOMPARE(watchdog.parent(), &w->window);
        QCOMPARE(w->probe.monotone_timer().parent(), &w->window);

        QCOMPARE(w->window.size(), QSize(960, 653));
        QCOMPARE(w->window.windowTitle(), QStringLiteral("Velmar Serial Port"));
        QVERIFY(w->window.menuBar()->actions().isEmpty());
    }

    void closing_the_window_ends_the_event_loop()
    {
        auto *window = new MainWindow;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTimer::singleShot(0, window, &QWidget::close);
        QTimer::singleShot(10000, window, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
        delete window;
    }
};

QTEST_MAIN(Tst_main_window)
#include "tst_main_window.moc"
