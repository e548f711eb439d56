#include "app/window_command_line.h"
#include "simulator/unit_simulator.h"
#include "support/child_process.h"
#include "support/pty_line.h"
#include "support/record_lines.h"
#include "support/test_settings.h"
#include "support/window_fixture.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>

#include <memory>

namespace {

constexpr int frames_per_second = 50;
constexpr int line_timeout_ms = 10000;
constexpr int saved_port_index = 5;
constexpr int saved_baud_index = 3;

const QString window_program = QStringLiteral(VELMAR_WINDOW_PATH);
const QString ctl = QStringLiteral(VELMAR_CTL_PATH);

std::unique_ptr<Unit_simulator> start_unit()
{
    auto unit = std::make_unique<Unit_simulator>();
    unit->settings().drift = false;
    unit->settings().rate = frames_per_second;
    return unit->start_on_pty() ? std::move(unit) : nullptr;
}

// Offscreen, with a settings store and a runtime directory of its own.
void give_window_a_home(Child_process &window, const QTemporaryDir &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    window.setProcessEnvironment(environment);
}

QStringList complete_lines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    lines.removeLast();
    return lines;
}

QJsonObject without_time(const QString &line)
{
    QJsonObject record = QJsonDocument::fromJson(line.toUtf8()).object();
    record.remove(QStringLiteral("time"));
    return record;
}

} // namespace

class Command_line_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void window_records_its_unit()
    {
        const auto unit = start_unit();
        QVERIFY(unit);
        QTemporaryDir home;
        const QString record_path = home.filePath(QStringLiteral("record.jsonl"));
        const QString earlier = QStringLiteral("{\"event\":\"earlier\"}");
        QFile record(record_path);
        QVERIFY(record.open(QIODevice::WriteOnly));
        record.write(earlier.toUtf8() + '\n');
        record.close();
        Child_process window(window_program);
        give_window_a_home(window, home);
        window.start({"--port", unit->slave_path(), "--record", record_path});
        QTRY_VERIFY_WITH_TIMEOUT(
            record_events(complete_lines(record_path)).contains(QStringLiteral("connected")),
            line_timeout_ms);
        window.terminate();
        QVERIFY(window.wait_for_exit());

        const QStringList lines = complete_lines(record_path);
        QCOMPARE(lines.first(), earlier); // appended to
        for (const QString &line : lines.mid(1)) {
            QJsonParseError error{};
            const QJsonObject object = QJsonDocument::fromJson(line.toUtf8(), &error).object();
            QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(line));
            QVERIFY2(object.value(QStringLiteral("time")).isString(), qPrintable(line));
        }
        QCOMPARE(record_events(lines).value(1), QStringLiteral("status"));
        Child_process watch(ctl);
        watch.start({"watch", "--port", unit->slave_path(), "--count", "1"});
        QVERIFY(watch.wait_for_exit());
        QCOMPARE(watch.exit_code(), 0);
        QCOMPARE(without_time(lines[1]), without_time(watch.output_lines().value(0)));
    }

    // The tool's own run, minus the process: what a command-line port does to
    // the window and to the saved choice.
    void start_port_keeps_the_saved_choice()
    {
        const auto unit = start_unit();
        QVERIFY(unit);
        clear_saved_settings();
        store_setting(QStringLiteral("SerialPort/SerialPort"), saved_port_index);
        store_setting(QStringLiteral("SerialPort/BaudRate"), saved_baud_index);
        const Window_command_line line = Window_command_line::parse(
            {"velmar-serial-port", "--port", unit->slave_path(), "--baud", "57600"});
        QCOMPARE(line.outcome, Window_command_line::Outcome::run);
        {
            Window_fixture w(line.start_port);
            const auto *ports = w.widget<QComboBox>(QStringLiteral("comboBox_SerialPort"));
            QCOMPARE(ports->currentText(), unit->slave_path());
            QVERIFY(ports->currentIndex() != saved_port_index);
            QCOMPARE(w.widget<QComboBox>(QStringLiteral("comboBox_BaudRate"))->currentText(),
                     QStringLiteral("57600"));
            QCOMPARE(shown(w.label(QStringLiteral("label_SerialPort_Ok"))),
                     Shown("Ok", "color : green"));
            QTRY_COMPARE_WITH_TIMEOUT(w.label(QStringLiteral("label_protocol_ver"))->text(),
                                      QStringLiteral("2.0, Ok"), line_timeout_ms);
        }
        QCOMPARE(saved_setting(QStringLiteral("SerialPort/SerialPort")).toInt(), saved_port_index);
        QCOMPARE(saved_setting(QStringLiteral("SerialPort/BaudRate")).toInt(), saved_baud_index);
    }

    void refusals_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exit_code");
        QTest::addColumn<QString>("named"); // in the one line on stderr
        QTest::newRow("record file cannot be opened")
            << QStringList{"--record", "/nonexistent/dir/x"} << 3 << "/nonexistent/dir/x";
        QTest::newRow("rate not a number") << QStringList{"--baud", "x"} << 2 << "--baud";
        QTest::newRow("stray argument") << QStringList{"stray"} << 2 << "stray";
        QTest::newRow("unknown option") << QStringList{"--colour"} << 2 << "colour";
    }

    // Refused before any window opens: the program ends by itself.
    void refusals()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exit_code);
        QFETCH(QString, named);
        QTemporaryDir home;
        Child_process window(window_program);
        give_window_a_home(window, home);
        window.start(arguments);
        QVERIFY(window.wait_for_exit());
        QCOMPARE(window.exit_code(), exit_code);
        QCOMPARE(window.output_lines(), QStringList());
        const QStringList errors = window.error_lines();
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().contains(named), qPrintable(errors.first()));
    }

    void text_without_a_display_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<QString>("first_line"); // a pattern
        QTest::newRow("help") << "--help"
                              << "^Usage: \\S*velmar-serial-port \\[options\\]$";
        QTest::newRow("version") << "--version"
                                 << "^velmar-serial-port \\d+\\.\\d+\\.\\d+$";
    }

    void text_without_a_display()
    {
        QFETCH(QString, argument);
        QFETCH(QString, first_line);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        Child_process window(window_program);
        window.setProcessEnvironment(environment);
        window.start({argument});
        QVERIFY(window.wait_for_exit());
        QCOMPARE(window.exit_code(), 0);
        QCOMPARE(window.error_lines(), QStringList());
        const QStringList printed = window.output_lines();
        QVERIFY2(QRegularExpression(first_line).match(printed.value(0)).hasMatch(),
                 qPrintable(printed.value(0)));
    }
};

QTEST_MAIN(Command_line_test)
#include "tst_command_line.moc"
