// Saved port and baud selection and window position, and the port list's
// rescan, against a settings store in a temporary directory. The host's own
// serial ports may be listed or not; expectations follow what it lists.

#include "app/mainwindow.h"
#include "support/main_window_probe.h"
#include "support/test_settings.h"
#include "tools/pty_device.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QRegularExpression>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryFile>
#include <QtSerialPort/QSerialPortInfo>
#include <QtTest/QtTest>

#include <memory>

namespace {

const QString organisation = QStringLiteral("velmar_serial_port");
const QString port_key = QStringLiteral("SerialPort/SerialPort");
const QString baud_key = QStringLiteral("SerialPort/BaudRate");
const QString pos_key = QStringLiteral("MainWindow/pos");
constexpr QPoint default_pos(200, 200);
constexpr int fallback_baud_index = 12;

QVariant saved(const QString &key)
{
    QSettings settings(QSettings::UserScope, organisation, QString());
    return settings.value(key);
}

void store(const QString &key, const QVariant &value)
{
    QSettings settings(QSettings::UserScope, organisation, QString());
    settings.setValue(key, value);
    settings.sync();
}

QStringList saved_keys()
{
    QSettings settings(QSettings::UserScope, organisation, QString());
    return settings.allKeys();
}

QString store_file_name()
{
    return QSettings(QSettings::UserScope, organisation, QString()).fileName();
}

QStringList host_port_names()
{
    QStringList names;
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports)
        names.append(info.portName());
    return names;
}

// A saved index selects that place of the list, if there is one.
int selected_port_index(int saved_index)
{
    return saved_index >= 0 && saved_index < host_port_names().size() ? saved_index : -1;
}

int local_baud_default()
{
    const int found = QSerialPortInfo::standardBaudRates().indexOf(115200);
    return found >= 0 ? found : fallback_baud_index;
}

int descriptors_open_on(const QString &path)
{
    int count = 0;
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    const auto entries =
        descriptors.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries)
        count += entry.symLinkTarget() == path ? 1 : 0;
    return count;
}

QString open_failure_pattern(const QString &name)
{
    return QStringLiteral("^\"%1\" Failed to open port: \".+\"$")
        .arg(QRegularExpression::escape(name));
}

} // namespace

class Tst_settings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void first_start_defaults();
    void restores_saved_values_data();
    void restores_saved_values();
    void damaged_file_gives_fallbacks();
    void saves_on_selection_change();
    void saves_at_exit_and_restores();
    void rescan_replaces_selection();
    void rescan_from_empty_list();
    void empty_list_at_exit_saves_minus_one();
    void save_failure_is_reported();

private:
    void start_window();
    void select_port(const QString &name);
    void expect_no_port_label();

    QString store_dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Main_window_probe> probe;
};

void Tst_settings::initTestCase()
{
    store_dir = isolate_settings();
}

void Tst_settings::init()
{
    clear_saved_settings();
    QVERIFY(saved_keys().isEmpty());
}

void Tst_settings::cleanup()
{
    probe.reset();
    window.reset();
    isolate_settings();
}

void Tst_settings::start_window()
{
    window = std::make_unique<MainWindow>();
    probe = std::make_unique<Main_window_probe>(*window);
}

void Tst_settings::select_port(const QString &name)
{
    QComboBox *combo = probe->ui().comboBox_SerialPort;
    combo->addItem(name);
    combo->setCurrentIndex(combo->count() - 1);
}

void Tst_settings::expect_no_port_label()
{
    QCOMPARE(probe->ui().label_SerialPort_Ok->text(), QStringLiteral("--"));
    QCOMPARE(probe->ui().label_SerialPort_Ok->styleSheet(), QStringLiteral("color : grey"));
}

void Tst_settings::first_start_defaults()
{
    const int port_index = selected_port_index(0);
    start_window();
    QCOMPARE(probe->ui().comboBox_SerialPort->currentIndex(), port_index);
    QCOMPARE(probe->ui().comboBox_BaudRate->currentIndex(), local_baud_default());
    if (QSerialPortInfo::standardBaudRates().contains(115200))
        QCOMPARE(probe->ui().comboBox_BaudRate->currentData().toInt(), 115200);
    QCOMPARE(window->pos(), default_pos);
    if (port_index < 0)
        expect_no_port_label();
    // Restoring the selection is no change of it: nothing is written yet.
    QCOMPARE(saved_keys(), QStringList());

    window.reset();
    QCOMPARE(saved(port_key).toInt(), port_index);
    QCOMPARE(saved(baud_key).toInt(), local_baud_default());
    QCOMPARE(saved(pos_key).toPoint(), default_pos);
}

void Tst_settings::restores_saved_values_data()
{
    QTest::addColumn<QVariant>("port");
    QTest::addColumn<QVariant>("baud");
    QTest::addColumn<QVariant>("pos");
    QTest::addColumn<int>("expected_port");
    QTest::addColumn<int>("expected_baud");
    QTest::addColumn<QPoint>("expected_pos");

    const QVariant absent;
    const int first = selected_port_index(0);
    const int last_rate = QSerialPortInfo::standardBaudRates().size() - 1;

    QTest::newRow("saved values") << QVariant(-1) << QVariant(3) << QVariant(QPoint(321, 123)) << -1
                                  << 3 << QPoint(321, 123);
    QTest::newRow("first port, last rate")
        << QVariant(0) << QVariant(last_rate) << absent << first << last_rate << default_pos;
    QTest::newRow("position only") << absent << absent << QVariant(QPoint(-40, 7)) << first
                                   << local_baud_default() << QPoint(-40, 7);
    QTest::newRow("indexes far out of range")
        << QVariant(100000) << QVariant(100000) << absent << -1 << -1 << default_pos;
    QTest::newRow("negative indexes")
        << QVariant(-50) << QVariant(-3) << absent << -1 << -1 << default_pos;
    // Anything that is not a number reads as 0.
    QTest::newRow("words") << QVariant(QStringLiteral("abc")) << QVariant(QStringLiteral("fast"))
                           << QVariant(QStringLiteral("here")) << first << 0 << default_pos;
    QTest::newRow("string lists") << QVariant(QStringList{QStringLiteral("1"), QStringLiteral("2")})
                                  << QVariant(QStringList{QStringLiteral("3"), QStringLiteral("4")})
                                  << QVariant(QStringList{QStringLiteral("5"), QStringLiteral("6")})
                                  << first << 0 << default_pos;
    QTest::newRow("too big for an int") << QVariant(QStringLiteral("99999999999999999999"))
                                        << QVariant(QStringLiteral("99999999999999999999"))
                                        << QVariant(QSize(3, 4)) << first << 0 << default_pos;
    QTest::newRow("number as position")
        << absent << QVariant(2) << QVariant(5) << first << 2 << default_pos;
}

void Tst_settings::restores_saved_values()
{
    QFETCH(QVariant, port);
    QFETCH(QVariant, baud);
    QFETCH(QVariant, pos);
    QFETCH(int, expected_port);
    QFETCH(int, expected_baud);
    QFETCH(QPoint, expected_pos);

    if (port.isValid())
        store(port_key, port);
    if (baud.isValid())
        store(baud_key, baud);
    if (pos.isValid())
        store(pos_key, pos);

    start_window();
    QCOMPARE(probe->ui().comboBox_SerialPort->currentIndex(), expected_port);
    QCOMPARE(probe->ui().comboBox_BaudRate->currentIndex(), expected_baud);
    QCOMPARE(window->pos(), expected_pos);
    if (expected_port < 0)
        expect_no_port_label();
}

void Tst_settings::damaged_file_gives_fallbacks()
{
    const QString path = store_file_name();
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[SerialPort]\n"
               "SerialPort=@Invalid()\n"
               "BaudRate=1, 2, 3\n"
               "\x01\xff\xfe garbage without an equals sign\n"
               "[MainWindow\n"
               "pos=@Point(oops)\n");
    file.close();

    start_window();
    QCOMPARE(probe->ui().comboBox_SerialPort->currentIndex(), selected_port_index(0));
    QCOMPARE(probe->ui().comboBox_BaudRate->currentIndex(), 0);
    QCOMPARE(window->pos(), default_pos);
}

void Tst_settings::saves_on_selection_change()
{
    store(port_key, -1);
    start_window();
    QComboBox *rates = probe->ui().comboBox_BaudRate;

    rates->setCurrentIndex(2);
    QCOMPARE(saved(baud_key).toInt(), 2);
    QCOMPARE(saved(port_key).toInt(), -1);
    QCOMPARE(saved(pos_key).toPoint(), default_pos);

    Pty_device pty;
    QVERIFY(pty.open());
    const int pty_index = probe->ui().comboBox_SerialPort->count();
    select_port(pty.slave_path());
    QCOMPARE(probe->ui().label_SerialPort_Ok->text(), QStringLiteral("Ok"));
    QCOMPARE(saved(port_key).toInt(), pty_index);
    QCOMPARE(saved(baud_key).toInt(), 2);

    // A port that fails to open is saved all the same.
    const QString missing = QStringLiteral("/nonexistent/velmar-tty");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(open_failure_pattern(missing)));
    select_port(missing);
    QCOMPARE(probe->ui().label_SerialPort_Ok->text(), QStringLiteral("Fault"));
    QCOMPARE(saved(port_key).toInt(), pty_index + 1);
}

void Tst_settings::saves_at_exit_and_restores()
{
    store(port_key, -1);
    start_window();
    const int rate_index = local_baud_default() > 0 ? local_baud_default() - 1 : 1;
    probe->ui().comboBox_BaudRate->setCurrentIndex(rate_index);
    window->move(345, 67);
    QCOMPARE(saved(pos_key).toPoint(), default_pos);

    window.reset();
    QCOMPARE(saved(pos_key).toPoint(), QPoint(345, 67));
    QCOMPARE(saved(port_key).toInt(), -1);
    QCOMPARE(saved(baud_key).toInt(), rate_index);

    start_window();
    QCOMPARE(window->pos(), QPoint(345, 67));
    QCOMPARE(probe->ui().comboBox_BaudRate->currentIndex(), rate_index);
    QCOMPARE(probe->ui().comboBox_SerialPort->currentIndex(), -1);
}

void Tst_settings::rescan_replaces_selection()
{
    store(port_key, -1);
    start_window();
    Pty_device pty;
    QVERIFY(pty.open());
    const int untouched = descriptors_open_on(pty.slave_path());
    select_port(pty.slave_path());
    const int pty_index = probe->ui().comboBox_SerialPort->currentIndex();
    QCOMPARE(saved(port_key).toInt(), pty_index);
    QCOMPARE(descriptors_open_on(pty.slave_path()), untouched + 1);

    const QStringList ports = host_port_names();
    probe->rescan();

    QCOMPARE(descriptors_open_on(pty.slave_path()), untouched);
    QStringList listed;
    for (int i = 0; i < probe->ui().comboBox_SerialPort->count(); ++i)
        listed.append(probe->ui().comboBox_SerialPort->itemText(i));
    QCOMPARE(listed, ports);
    if (ports.isEmpty()) {
        QCOMPARE(probe->ui().comboBox_SerialPort->currentIndex(), -1);
        expect_no_port_label();
        QCOMPARE(saved(port_key).toInt(), pty_index);
    } else {
        QCOMPARE(probe->ui().comboBox_SerialPort->currentIndex(), 0);
        QVERIFY(probe->ui().label_SerialPort_Ok->text() != QStringLiteral("--"));
        QCOMPARE(saved(port_key).toInt(), 0);
    }
}

void Tst_settings::rescan_from_empty_list()
{
    store(port_key, -1);
    start_window();
    probe->ui().comboBox_SerialPort->clear();
    const int marker = 77;
    store(port_key, marker);

    const QStringList ports = host_port_names();
    probe->rescan();

    QCOMPARE(probe->ui().comboBox_SerialPort->count(), ports.size());
    if (ports.isEmpty()) {
        expect_no_port_label();
        QCOMPARE(saved(port_key).toInt(), marker);
    } else {
        QCOMPARE(probe->ui().comboBox_SerialPort->currentIndex(), 0);
        QCOMPARE(saved(port_key).toInt(), 0);
    }
}

void Tst_settings::empty_list_at_exit_saves_minus_one()
{
    store(port_key, -1);
    start_window();
    Pty_device pty;
    QVERIFY(pty.open());
    select_port(pty.slave_path());
    const int pty_index = probe->ui().comboBox_SerialPort->currentIndex();
    QVERIFY(pty_index >= 0);

    // Emptying the list closes the port but saves nothing by itself.
    probe->ui().comboBox_SerialPort->clear();
    expect_no_port_label();
    QCOMPARE(saved(port_key).toInt(), pty_index);

    window.reset();
    QCOMPARE(saved(port_key).toInt(), -1);

    start_window();
    QCOMPARE(probe->ui().comboBox_SerialPort->count(), host_port_names().size());
    QCOMPARE(probe->ui().comboBox_SerialPort->currentIndex(), -1);
    expect_no_port_label();
}

void Tst_settings::save_failure_is_reported()
{
    store(port_key, -1);
    start_window();

    // A store whose directory cannot be created, even by root: its parent is
    // a regular file.
    QTemporaryFile blocker;
    QVERIFY(blocker.open());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       blocker.fileName() + QStringLiteral("/settings"));
    const QRegularExpression failure(QStringLiteral("^Failed to save settings: "));
    QTest::ignoreMessage(QtDebugMsg, failure);
    probe->ui().comboBox_BaudRate->setCurrentIndex(1);
    QCOMPARE(probe->ui().comboBox_BaudRate->currentIndex(), 1);

    QTest::ignoreMessage(QtDebugMsg, failure);
    probe.reset();
    window.reset();
}

QTEST_MAIN(Tst_settings)
#include "tst_settings.moc"
