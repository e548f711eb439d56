// The window on a unit behind Debian's ser2net, given by URL: the port label
// as for a device, Ok once the line is set up, a fault while the server is
// gone, and the unit back after it.
#include "support/ser2net_server.h"
#include "support/steady_unit.h"
#include "support/test_settings.h"
#include "support/window_fixture.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>

namespace {

constexpr int line_timeout_ms = 5000;

QStringList port_and_unit(const Window_fixture &w)
{
    const Shown port = shown(w.label(QStringLiteral("label_SerialPort_Ok")));
    return {port.first, port.second, shown(w.label(QStringLiteral("label_protocol_ver"))).first};
}

} // namespace

class Tst_window_terminal_server : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        isolate_settings();
        clear_saved_settings();
        select_no_port();
    }

    void the_port_label_follows_the_server()
    {
        const auto unit = steady_unit();
        QVERIFY(unit);
        Ser2net_server server(Ser2net_server::Mode::rfc2217, unit->slave_path());
        QVERIFY(server.start());
        const Window_fixture w(Start_port{server.url(), 57600});
        // Connecting: neither Ok nor a fault.
        QCOMPARE(port_and_unit(w).mid(0, 2), (QStringList{"--", "color : grey"}));
        const QStringList up{"Ok", "color : green", "2.0, Ok"};
        QTRY_COMPARE_WITH_TIMEOUT(port_and_unit(w), up, line_timeout_ms);
        QCOMPARE(unit->line_settings().baud_rate, 57600);

        server.kill();
        QTRY_COMPARE_WITH_TIMEOUT(port_and_unit(w), (QStringList{"Fault", "color: red", "--"}),
                                  line_timeout_ms);
        QVERIFY(server.start());
        QTRY_COMPARE_WITH_TIMEOUT(port_and_unit(w), up, line_timeout_ms);
    }

    void a_server_nobody_runs_is_a_fault()
    {
        const Window_fixture w(
            Start_port{QStringLiteral("rfc2217://127.0.0.1:%1").arg(unused_loopback_port()), 0});
        QTRY_COMPARE_WITH_TIMEOUT(port_and_unit(w).mid(0, 2), (QStringList{"Fault", "color: red"}),
                                  line_timeout_ms);
    }
};

QTEST_MAIN(Tst_window_terminal_server)
#include "tst_window_terminal_server.moc"
