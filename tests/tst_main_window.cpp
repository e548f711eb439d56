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

    void constructed_state()
    {
        const auto w = make_window_without_port();
        const Ui::MainWindow &ui = w->probe.ui();
        // Each item as its text, then the type and value of its Qt::UserRole data.
        const auto items = [](const QComboBox *combo) {
            QStringList items;
            for (int i = 0; i < combo->count(); ++i)
                items << combo->itemText(i) + '|' + combo->itemData(i).typeName() + '|' +
                             combo->itemData(i).toString();
            return items;
        };
        QStringList ports, rates;
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
            ports << info.portName() + "||";
        for (const qint32 rate : QSerialPortInfo::standardBaudRates())
            rates << QStringLiteral("%1|int|%1").arg(rate);
        QCOMPARE(items(ui.comboBox_SerialPort), ports);
        QCOMPARE(items(ui.comboBox_BaudRate), rates);
        for (QSpinBox *box : {ui.box_new_trshd, ui.box_current_trshd})
            QVERIFY(box->minimum() == -35 && box->maximum() == 0 && box->text() == "0 dBm");
        QVERIFY(ui.box_new_trshd->isEnabled() && ui.button_trshd_apply->isEnabled());
        QVERIFY(!ui.box_current_trshd->isEnabled() && !ui.button_reading_gain->isEnabled());
        QVERIFY(!ui.box_gain_0->isEnabled() && !ui.box_gain_1->isEnabled());
        QTimer &watchdog = w->probe.watchdog_timer(), &monotone = w->probe.monotone_timer();
        QVERIFY(watchdog.isActive() && !watchdog.isSingleShot() && !monotone.isActive());
        QCOMPARE(watchdog.interval(), 1000);
        QVERIFY(watchdog.parent() == &w->window && monotone.parent() == &w->window);
        QCOMPARE(w->window.size(), QSize(960, 653));
        QCOMPARE(w->window.windowTitle(), QStringLiteral("Velmar Serial Port"));
        QVERIFY(w->window.menuBar()->actions().isEmpty());
    }

    void closing_the_window_ends_the_event_loop()
    {
        const auto window = std::make_unique<MainWindow>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QTimer::singleShot(0, window.get(), &QWidget::close);
        QTimer::singleShot(10000, window.get(), [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(Tst_main_window)
#include "tst_main_window.moc"
