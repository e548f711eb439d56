// Saved selection and window position, and the rescan; expectations follow the host's ports.

#include "support/pty_window.h"
#include "support/test_settings.h"

#include <QtCore/QDir>
#include <QtSerialPort/QSerialPortInfo>
#include <QtTest/QtTest>

#include <algorithm>

namespace {

const QString port_key = QStringLiteral("SerialPort/SerialPort");
const QString baud_key = QStringLiteral("SerialPort/BaudRate");
const QString pos_key = QStringLiteral("MainWindow/pos");
constexpr QPoint default_pos(200, 200);

int descriptors_open_on(const QString &path)
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    const auto all = fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    return int(std::count_if(all.cbegin(), all.cend(),
                             [&](const QFileInfo &fd) { return fd.symLinkTarget() == path; }));
}

} // namespace

class Tst_settings : public QObject
{
    Q_OBJECT

    std::unique_ptr<Probed_window> w;

    void start_window() { w = std::make_unique<Probed_window>(); }
    QComboBox *ports() { return w->probe.ui().comboBox_SerialPort; }
    QComboBox *rates() { return w->probe.ui().comboBox_BaudRate; }
    QString port_label() { return w->probe.ui().label_SerialPort_Ok->text(); }
    // The index a saved 0 selects: the first port, if the host lists any.
    static int first_port() { return QSerialPortInfo::availablePorts().isEmpty() ? -1 : 0; }

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }
    void init() { clear_saved_settings(); }
    void cleanup() { w.reset(); }

    void first_start_then_saved_at_exit()
    {
        start_window();
        const int baud_index = rates()->currentIndex();
        // Restoring the selection is no change of it: nothing is written yet.
        QVERIFY(!saved_setting(port_key).isValid() && !saved_setting(baud_key).isValid());
        w->window.move(345, 67);
        w.reset();
        QCOMPARE(saved_setting(port_key).toInt(), first_port());
        QCOMPARE(saved_setting(baud_key).toInt(), baud_index);
        QCOMPARE(saved_setting(pos_key).toPoint(), QPoint(345, 67));
    }

    void restores_saved_values_data()
    {
        QTest::addColumn<QVariantList>("stored"); // port, baud and position, as far as stored
        QTest::addColumn<int>("expected_port");
        QTest::addColumn<int>("expected_baud");
        QTest::addColumn<QPoint>("expected_pos");
        const QList<qint32> standard = QSerialPortInfo::standardBaudRates();
        const int last = standard.size() - 1, first = first_port();
        const QPoint at(321, -7), home = default_pos;
        QTest::newRow("first start")
            << QVariantList{} << first << int(standard.indexOf(115200)) << home;
        QTest::newRow("saved") << QVariantList{-1, 3, at} << -1 << 3 << at;
        QTest::newRow("first port, last rate") << QVariantList{0, last} << first << last << home;
        QTest::newRow("far out of range") << QVariantList{100000, 100000, 5} << -1 << -1 << home;
        QTest::newRow("negative") << QVariantList{-50, -3} << -1 << -1 << home;
    }

    void restores_saved_values()
    {
        QFETCH(QVariantList, stored);
        for (int i = 0; i < stored.size(); ++i)
            store_setting(QStringList({port_key, baud_key, pos_key}).at(i), stored.at(i));
        start_window();
        QTEST(ports()->currentIndex(), "expected_port");
        QTEST(rates()->currentIndex(), "expected_baud");
        QTEST(w->window.pos(), "expected_pos");
    }

    void saves_on_change_rescan_and_an_empty_list_at_exit()
    {
        select_no_port();
        start_window();
        rates()->setCurrentIndex(2);
        QCOMPARE(saved_setting(baud_key).toInt(), 2);
        QCOMPARE(saved_setting(port_key).toInt(), -1);
        QCOMPARE(saved_setting(pos_key).toPoint(), default_pos);
        // A port that fails to open is saved all the same.
        QTest::ignoreMessage(QtDebugMsg, open_failure_line(QStringLiteral("/no/such/tty")));
        select_port(w->probe, QStringLiteral("/no/such/tty"));
        QCOMPARE(saved_setting(port_key).toInt(), ports()->count() - 1);
        Pty_device pty;
        QVERIFY(pty.open());
        const int untouched = descriptors_open_on(pty.slave_path());
        select_port(w->probe, pty.slave_path());
        const int pty_index = ports()->currentIndex();
        QCOMPARE(saved_setting(port_key).toInt(), pty_index);
        QCOMPARE(saved_setting(baud_key).toInt(), 2);
        QCOMPARE(descriptors_open_on(pty.slave_path()), untouched + 1);
        // The list is rebuilt from the host's ports; the old port is closed.
        const auto host_ports = QSerialPortInfo::availablePorts();
        w->probe.rescan();
        QCOMPARE(descriptors_open_on(pty.slave_path()), untouched);
        QCOMPARE(ports()->count(), host_ports.size());
        for (int i = 0; i < host_ports.size(); ++i)
            QCOMPARE(ports()->itemText(i), host_ports.at(i).portName());
        QCOMPARE(ports()->currentIndex(), first_port());
        // An empty list selects nothing and saves nothing; a new first port is saved.
        const int saved_index = host_ports.isEmpty() ? pty_index : 0;
        QCOMPARE(saved_setting(port_key).toInt(), saved_index);
        QCOMPARE(port_label() == QStringLiteral("--"), host_ports.isEmpty());
        ports()->clear();
        QCOMPARE(port_label(), QStringLiteral("--"));
        QCOMPARE(saved_setting(port_key).toInt(), saved_index);
        w.reset();
        QCOMPARE(saved_setting(port_key).toInt(), -1);
    }
};

QTEST_MAIN(Tst_settings)
#include "tst_settings.moc"
