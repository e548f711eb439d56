#include "support/pty_window.h"
#include "support/test_settings.h"
#include <QtSerialPort/QSerialPortInfo>
#include <QtTest/QtTest>

class Tst_main_window : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void constructed_state_then_closed()
    {
        const auto w = make_window_without_port();
        const Ui::MainWindow &ui = w->probe.ui();
        QStringList expected, items; // text|user data type|user data, ports then rates
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
            expected << info.portName() + "||";
        for (const qint32 rate : QSerialPortInfo::standardBaudRates())
            expected << QStringLiteral("%1|int|%1").arg(rate);
        for (const QComboBox *combo : {ui.comboBox_SerialPort, ui.comboBox_BaudRate})
            for (int i = 0; i < combo->count(); ++i)
                items << combo->itemText(i) + '|' + combo->itemData(i).typeName() + '|' +
                             combo->itemData(i).toString();
        QCOMPARE(items, expected);
        for (QSpinBox *box : {ui.box_new_trshd, ui.box_current_trshd})
            QVERIFY(box->minimum() == -35 && box->maximum() == 0 && box->text() == "0 dBm");
        const QTimer &watchdog = w->probe.watchdog_timer(), &monotone = w->probe.monotone_timer();
        QCOMPARE(QVariantList({ui.box_new_trshd->isEnabled(), ui.box_current_trshd->isEnabled(),
                               watchdog.isActive(), watchdog.isSingleShot(), watchdog.interval(),
                               monotone.isActive(), w->window.size(), w->window.windowTitle(),
                               w->window.menuBar()->actions().size()}),
                 QVariantList({true, false, true, false, 1000, false, QSize(960, 653),
                               "Velmar Serial Port", 0}));
        // Closing the window ends the event loop with status 0.
        w->window.show();
        QTimer::singleShot(0, &w->window, &QWidget::close);
        QTimer::singleShot(10000, &w->window, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(Tst_main_window)
#include "tst_main_window.moc"
