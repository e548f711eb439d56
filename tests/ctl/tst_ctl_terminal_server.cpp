// velmar-ctl on a unit behind Debian's ser2net, as on a rack's terminal
// server: what it records when the server goes and comes back, and a set
// confirmed through it.
#include "support/child_process.h"
#include "support/ser2net_server.h"
#include "support/steady_unit.h"

#include <QtTest/QtTest>

namespace {

const QString ctl = QStringLiteral(VELMAR_CTL_PATH);
constexpr int line_timeout_ms = 10000;
constexpr int back_within_ms = 5000;

// The events of a JSON record, in order, a word each.
QString events(const QStringList &record)
{
    static const QRegularExpression event(QStringLiteral("\"event\":\"(\\w+)\""));
    QStringList found;
    for (const QString &line : record) {
        const QRegularExpressionMatch match = event.match(line);
        if (match.hasMatch())
            found.append(match.captured(1));
    }
    return found.join(QLatin1Char(' '));
}

} // namespace

Q_DECLARE_METATYPE(Ser2net_server::Mode)

class Tst_ctl_terminal_server : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void watch_outlives_the_server()
    {
        const auto unit = steady_unit();
        QVERIFY(unit);
        Ser2net_server server(Ser2net_server::Mode::rfc2217, unit->slave_path());
        QVERIFY(server.start());
        Child_process watch(ctl);
        // By name: the record names the port as it was given.
        const QString url = QString(server.url()).replace("127.0.0.1", "localhost");
        watch.start({"watch", "--port", url, "--baud", "57600"});
        QTRY_VERIFY_WITH_TIMEOUT(events(watch.output_lines()).contains("status"), line_timeout_ms);
        QVERIFY(watch.output_lines().first().contains("\"port\":\"" + url + '"'));

        server.kill();
        QTRY_VERIFY_WITH_TIMEOUT(events(watch.output_lines()).endsWith("port_lost"),
                                 line_timeout_ms);
        QElapsedTimer back;
        back.start();
        QVERIFY(server.start());
        const QRegularExpression unit_back(
            QStringLiteral("port_lost( \\w+)* reopened( \\w+)* status"));
        QTRY_VERIFY_WITH_TIMEOUT(unit_back.match(events(watch.output_lines())).hasMatch(),
                                 back_within_ms);
        QVERIFY2(back.elapsed() < back_within_ms, qPrintable(QString::number(back.elapsed())));
        QCOMPARE(unit->line_settings().baud_rate, 57600); // set again on the new connection
        watch.terminate();
        QVERIFY(watch.wait_for_exit());
        QCOMPARE(watch.exit_code(), 0);
        const QString told = events(watch.output_lines());
        QCOMPARE(told.count(QStringLiteral("port_lost")), 1);
        QCOMPARE(told.count(QStringLiteral("reopened")), 1);
    }

    void set_is_confirmed_through_the_server_data()
    {
        QTest::addColumn<Ser2net_server::Mode>("mode");
        QTest::newRow("telnet(rfc2217)") << Ser2net_server::Mode::rfc2217;
        QTest::newRow("raw") << Ser2net_server::Mode::raw;
    }

    void set_is_confirmed_through_the_server()
    {
        QFETCH(Ser2net_server::Mode, mode);
        const auto unit = steady_unit();
        QVERIFY(unit);
        Ser2net_server server(mode, unit->slave_path());
        QVERIFY(server.start());
        Child_process set(ctl);
        // A threshold of -1 dBm is the byte 0xFF in the frame.
        set.start({"set", "--port", server.url(), "--threshold", "-1", "--gain2", "50.75"});
        QVERIFY(set.wait_for_exit());
        QCOMPARE(set.error_lines(), QStringList());
        QCOMPARE(set.exit_code(), 0);
        QVERIFY(QRegularExpression("^(acknowledged|reported)$")
                    .match(set.output_lines().last())
                    .hasMatch());
        QCOMPARE(int(unit->state().threshold_dbm), -1);
        QCOMPARE(int(unit->state().dante.gain_codes[1]), 37);
    }
};

QTEST_GUILESS_MAIN(Tst_ctl_terminal_server)
#include "tst_ctl_terminal_server.moc"
