#include "support/test_settings.h"
#include "support/window_fixture.h"

#include <QtSerialPort/QSerialPortInfo>
#include <QtTest/QtTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QSpinBox>

class Tst_main_window : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void constructed_state_then_closed()
    {
        QElapsedTimer since_start;
        since_start.start();
        const auto w = make_window_without_port();
        const auto box = [&w](const char *name) { return w->widget<QSpinBox>(name); };
        QStringList expected, items; // text|user data type|user data, ports then rates
        for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
            expected << info.portName() + "||";
        for (const qint32 rate : QSerialPortInfo::standardBaudRates())
            expected << QStringLiteral("%1|int|%1").arg(rate);
        for (const char *name : {"comboBox_SerialPort", "comboBox_BaudRate"}) {
            const QComboBox *combo = w->widget<QComboBox>(name);
            for (int i = 0; i < combo->count(); ++i)
                items << combo->itemText(i) + '|' + combo->itemData(i).typeName() + '|' +
                             combo->itemData(i).toString();
        }
        QCOMPARE(items, expected);
        for (QSpinBox *spin : {box("box_new_trshd"), box("box_current_trshd")})
            QVERIFY(spin->minimum() == -35 && spin->maximum() == 0 && spin->text() == "0 dBm");
        QCOMPARE(QVariantList({box("box_new_trshd")->isEnabled(),
                               box("box_current_trshd")->isEnabled(), w->window.size(),
                               w->window.windowTitle(), w->window.menuBar()->actions().size()}),
                 QVariantList({true, false, QSize(960, 653), "Velmar Serial Port", 0}));
        // The watchdog ticks without a port: a period of silence shows "Fault".
        const QLabel *receiving = w->label("label_receiving_status");
        QCOMPARE(shown(receiving), Shown("--", ""));
        QTRY_COMPARE_WITH_TIMEOUT(shown(receiving), Shown("Fault", "color: red"), 5000);
        QVERIFY(since_start.elapsed() >= quick_timing.watchdog_ms * 95 / 100);
        // Closing the window ends the event loop with status 0.
        w->window.show();
        QTimer::singleShot(0, &w->window, &QWidget::close);
        QTimer::singleShot(10000, &w->window, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(Tst_main_window)
#include "tst_main_window.moc"
