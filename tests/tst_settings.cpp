// Saved port and baud selection and window position, and the port list's
// rescan, against a settings store in a temporary directory. The host's own
// serial ports may be listed or not; expectations follow what it lists.

#include "support/pty_window.h"
#include "support/test_settings.h"

#include <QtCore/QDir>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryFile>
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
        QCOMPARE(ports()->currentIndex(), first_port());
        QCOMPARE(rates()->currentData().toInt(), 115200);
        const int baud_index = rates()->currentIndex();
        // Restoring the selection is no change of it: nothing is written yet.
        QVERIFY(!saved_setting(port_key).isValid() && !saved_setting(baud_key).isValid());
        w->window.move(345, 67);
        w.reset();
        QCOMPARE(saved_setting(port_key).toInt(), first_port());
        QCOMPARE(saved_setting(baud_key).toInt(), baud_index);
        QCOMPARE(saved_setting(pos_key).toPoint(), QPoint(345, 67));
        start_window();
        QCOMPARE(w->window.pos(), QPoint(345, 67));
    }

    void restores_saved_values_data()
    {
        QTest::addColumn<QVariant>("port");
        QTest::addColumn<QVariant>("baud");
        QTest::addColumn<QVariant>("pos");
        QTest::addColumn<int>("expected_port");
        QTest::addColumn<int>("expected_baud");
        QTest::addColumn<QPoint>("expected_pos");
        const QVariant none, huge("99999999999999999999");
        const int last = QSerialPortInfo::standardBaudRates().size() - 1, first = first_port();
        const QPoint at(321, -7), home = default_pos;
        QTest::newRow("saved") << QVariant(-1) << QVariant(3) << QVariant(at) << -1 << 3 << at;
        QTest::newRow("first port, last rate")
            << QVariant(0) << QVariant(last) << none << first << last << home;
        QTest::newRow("far out of range")
            << QVariant(100000) << QVariant(100000) << none << -1 << -1 << home;
        QTest::newRow("negative") << QVariant(-50) << QVariant(-3) << none << -1 << -1 << home;
        // Anything that is not a number reads as 0; anything not a point as no position.
        QTest::newRow("words") << QVariant("abc") << QVariant(QStringList{"1"}) << QVariant("here")
                               << first << 0 << home;
        QTest::newRow("too big, number as position")
            << huge << huge << QVariant(5) << first << 0 << home;
    }

    void restores_saved_values()
    {
        QFETCH(QVariant, port);
        QFETCH(QVariant, baud);
        QFETCH(QVariant, pos);
        store_setting(port_key, port);
        store_setting(baud_key, baud);
        store_setting(pos_key, pos);
        start_window();
        QTEST(ports()->currentIndex(), "expected_port");
        QTEST(rates()->currentIndex(), "expected_baud");
        QTEST(w->window.pos(), "expected_pos");
    }

    void saves_on_change_rescan_and_an_empty_list_at_exit()
    {
        store_setting(port_key, -1);
        start_window();
        rates()->setCurrentIndex(2);
        QCOMPARE(saved_setting(baud_key).toInt(), 2);
        QCOMPARE(saved_setting(port_key).toInt(), -1);
        QCOMPARE(saved_setting(pos_key).toPoint(), default_pos);
        // A port that fails to open is saved all the same.
        QTest::ignoreMessage(QtDebugMsg, open_failure_line(QStringLiteral("/no/such/tty")));
        select_port(w->probe, QStringLiteral("/no/such/tty"));
        QCOMPARE(port_label(), QStringLiteral("Fault"));
        QCOMPARE(saved_setting(port_key).toInt(), ports()->count() - 1);

        Pty_device pty;
        QVERIFY(pty.open());
        const int untouched = descriptors_open_on(pty.slave_path());
        select_port(w->probe, pty.slave_path());
        QCOMPARE(port_label(), QStringLiteral("Ok"));
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
        start_window();
        QCOMPARE(ports()->currentIndex(), -1);
        QCOMPARE(port_label(), QStringLiteral("--"));
    }

    void unwritable_store_is_reported()
    {
        store_setting(port_key, -1);
        start_window();
        // A store whose directory cannot be created, even by root: its parent is a file.
        QTemporaryFile blocker;
        QVERIFY(blocker.open());
        const auto restore = qScopeGuard([] { isolate_settings(); });
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           blocker.fileName() + "/s");
        const QRegularExpression failure(QStringLiteral("^Failed to save settings: "));
        QTest::ignoreMessage(QtDebugMsg, failure);
        rates()->setCurrentIndex(1);
        QTest::ignoreMessage(QtDebugMsg, failure);
        w.reset();
    }
};

QTEST_MAIN(Tst_settings)
#include "tst_settings.moc"
