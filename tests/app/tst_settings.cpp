#include "support/pty_line.h"
#include "support/test_settings.h"
#include "support/window_fixture.h"

#include <QtCore/QDir>
#include <QtSerialPort/QSerialPortInfo>
#include <QtTest/QtTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSpinBox>

#include <termios.h>

// The window as it starts and ends, its port and rate, and the choice saved between runs.
class Tst_settings : public QObject
{
    Q_OBJECT

    std::unique_ptr<Window_fixture> w;
    const QString port_key = QStringLiteral("SerialPort/SerialPort");
    const QString baud_key = QStringLiteral("SerialPort/BaudRate");
    const QString pos_key = QStringLiteral("MainWindow/pos");

    QComboBox *ports() { return w->widget<QComboBox>("comboBox_SerialPort"); }
    QComboBox *rates() { return w->widget<QComboBox>("comboBox_BaudRate"); }

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }
    void init() { clear_saved_settings(); }
    void cleanup() { w.reset(); }

    void constructed_state_then_closed()
    {
        QElapsedTimer since_start;
        since_start.start();
        const auto w = make_window_without_port();
        const auto box = [&w](const char *name) { return w->widget<QSpinBox>(name); };
        for (QSpinBox *spin : {box("box_new_trshd"), box("box_current_trshd")})
            QVERIFY(spin->minimum() == -35 && spin->maximum() == 0 && spin->text() == "0 dBm");
        QCOMPARE(
            QVariantList({box("box_new_trshd")->isEnabled(), box("box_current_trshd")->isEnabled(),
                          w->window.menuBar()->actions().size()}),
            QVariantList({true, false, 0}));
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

    void restores_and_saves_at_exit_data()
    {
        QTest::addColumn<QVariantList>("stored"); // port, baud and position, as far as stored
        QTest::addColumn<int>("expected_port");
        QTest::addColumn<int>("expected_baud");
        QTest::addColumn<QPoint>("expected_pos");
        const QList<qint32> standard = QSerialPortInfo::standardBaudRates();
        const int last = standard.size() - 1,
                  first = QSerialPortInfo::availablePorts().isEmpty() ? -1 : 0;
        const QPoint at(321, -7), home(200, 200);
        QTest::newRow("first start")
            << QVariantList{} << first << int(standard.indexOf(115200)) << home;
        QTest::newRow("saved, last rate") << QVariantList{0, last, at} << first << last << at;
        QTest::newRow("out of range") << QVariantList{100000, -3, 5} << -1 << -1 << home;
    }

    void restores_and_saves_at_exit()
    {
        QFETCH(QVariantList, stored);
        for (int i = 0; i < stored.size(); ++i)
            store_setting(QStringList({port_key, baud_key, pos_key}).at(i), stored.at(i));
        w = std::make_unique<Window_fixture>();
        QTEST(ports()->currentIndex(), "expected_port");
        QTEST(rates()->currentIndex(), "expected_baud");
        QTEST(w->window.pos(), "expected_pos");
        // Restoring the selection is no change of it: nothing is written yet.
        if (stored.isEmpty())
            QVERIFY(!saved_setting(port_key).isValid() && !saved_setting(baud_key).isValid());
        w->window.move(345, 67);
        w.reset();
        QTEST(saved_setting(port_key).toInt(), "expected_port");
        QTEST(saved_setting(baud_key).toInt(), "expected_baud");
        QCOMPARE(saved_setting(pos_key).toPoint(), QPoint(345, 67));
    }

    void saves_on_change_rescan_and_an_empty_list_at_exit()
    {
        select_no_port();
        w = std::make_unique<Window_fixture>();
        rates()->setCurrentIndex(2);
        QCOMPARE(saved_setting(baud_key).toInt(), 2);
        QCOMPARE(saved_setting(port_key).toInt(), -1);
        Pty_device pty; // opened and closed by the tool, watched through its descriptors
        QVERIFY(pty.open());
        const int untouched = descriptors_on(pty.slave_path());
        select_port(w->window, pty.slave_path());
        const int pty_index = ports()->currentIndex();
        QCOMPARE(saved_setting(port_key).toInt(), pty_index);
        QCOMPARE(descriptors_on(pty.slave_path()), untouched + 1);
        // The list is rebuilt from the host's ports; the old port is closed.
        const auto host_ports = QSerialPortInfo::availablePorts();
        w->widget<QPushButton>("button_rescan")->click();
        QCOMPARE(descriptors_on(pty.slave_path()), untouched);
        QCOMPARE(ports()->count(), host_ports.size());
        for (int i = 0; i < host_ports.size(); ++i)
            QCOMPARE(ports()->itemText(i), host_ports.at(i).portName());
        // An empty list selects nothing and saves nothing; a new first port is saved.
        const int saved_index = host_ports.isEmpty() ? pty_index : 0;
        QCOMPARE(saved_setting(port_key).toInt(), saved_index);
        ports()->clear();
        QCOMPARE(w->label("label_SerialPort_Ok")->text(), QStringLiteral("--"));
        QCOMPARE(saved_setting(port_key).toInt(), saved_index);
        w.reset();
        QCOMPARE(saved_setting(port_key).toInt(), -1);
    }

    void opens_the_selected_port_and_follows_the_rate()
    {
        w = make_window_without_port();
        Pty_device pty;
        QVERIFY2(pty.open(), qPrintable(pty.error_string()));
        const auto line_speed = [&pty] {
            termios settings{}; // the master side shows the slave's settings
            return tcgetattr(pty.fd(), &settings) == 0 ? cfgetospeed(&settings) : B0;
        };
        const QLabel *port_label = w->label("label_SerialPort_Ok");
        QCOMPARE(shown(port_label), Shown("--", "color : grey"));
        select_port(w->window, pty.slave_path());
        QCOMPARE(shown(port_label), Shown("Ok", "color : green"));
        QCOMPARE(line_speed(), speed_t(B115200));
        rates()->setCurrentIndex(rates()->findData(9600));
        QCOMPARE(line_speed(), speed_t(B9600));
        QCOMPARE(shown(port_label), Shown("Ok", "color : green"));
        w->widget<QPushButton>("button_default_set")->click();
        const QByteArray defaults = QByteArray::fromHex("525004202020E4D486");
        QCOMPARE(collect(pty, defaults.size()), defaults);
        w.reset(); // lets go of the line before it closes
    }
};

QTEST_MAIN(Tst_settings)
#include "tst_settings.moc"
