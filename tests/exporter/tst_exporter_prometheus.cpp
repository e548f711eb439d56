// velmar-exporter on three simulated units, scraped once a second by a real
// Prometheus server started here, and everything checked through
// Prometheus's HTTP API: the values, the counters, an unplugged unit, a unit
// that comes later and the queries of the shipped dashboard. One unit is
// also given under a second name, which the exporter must not open again.
// Meanwhile clients break the rules: an oversized request line, oversized
// headers, a client sending a byte a second, 500 connections at once and
// random bytes; through all of it every status is counted.

#include "exporter_rig.h"

#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <cmath>
#include <memory>

namespace {

constexpr int unit_count = 3;
// Every fourth frame of this unit leaves with a broken CRC.
constexpr int damaged_unit = 2;
constexpr int up_within_ms = 3000;
constexpr int new_unit_within_ms = 10000;
constexpr int unplugged_ms = 4000;
// Given to the exporter under a second name as well.
constexpr int aliased_unit = 0;
constexpr int held_unit = 1;
// Fast units: a reader held up for a fraction of a second would lose
// frames, which the counts would show.
constexpr int fast_rate = 200;
constexpr int crowd = 500;
constexpr int oversized_bytes = 256 * 1024;
constexpr int random_clients = 20;
constexpr int random_bytes = 4096;
constexpr int slow_byte_ms = 1000;
// Past the server's request time-out (5 s), with room for a busy machine.
constexpr int slow_client_ms = 15000;
constexpr int answer_ms = 20000;

using Socket = std::unique_ptr<QTcpSocket>;

Socket connected(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket;
}

// True once the server answered or hung up; what it answered is in *reply.
bool answered_or_closed(QTcpSocket &socket, QByteArray *reply, int timeout_ms = answer_ms)
{
    return QTest::qWaitFor(
        [&] {
            *reply += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState ||
                   reply->contains("\r\n\r\n");
        },
        timeout_ms);
}

// The status code of an HTTP/1.x answer, 0 for no answer.
int status_of(const QByteArray &reply)
{
    static const QRegularExpression status_line(QStringLiteral("^HTTP/1\\.[01] (\\d{3}) "));
    const QRegularExpressionMatch match = status_line.match(QString::fromLatin1(reply.left(16)));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

} // namespace

class Tst_exporter_prometheus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(QStringLiteral(VELMAR_PROMETHEUS_PATH)),
                 "prometheus is not installed: scripts/install-deps.sh installs it");
        for (int index = 0; index < unit_count; ++index) {
            Unit_simulator *unit = rig.add_unit();
            QVERIFY(unit);
            // Each unit its own figures, so that a mix-up of ports shows.
            QVERIFY(unit->execute(QStringLiteral("sfp1.power1 %1").arg(-10.5 - index)));
            QVERIFY(unit->execute(QStringLiteral("sfp2.temp %1").arg(index + 1)));
            QVERIFY(unit->execute(QStringLiteral("rate %1").arg(fast_rate)));
        }
        QVERIFY(rig.unit(damaged_unit).execute(QStringLiteral("badcrc 0.25")));
        // A second link to a unit, as a by-path link beside a by-id one: read
        // twice, the unit's frames would be split between the readers, and the
        // counters would miss what the other took.
        QVERIFY(QDir(rig.folder()).mkdir(QStringLiteral("via")));
        QVERIFY(QFile::link(rig.link(aliased_unit), alias()));
        // And a pattern that matches nothing.
        QVERIFY(rig.start_exporter({alias(), nothing()}));

        rig.start_prometheus(QStringLiteral("  - job_name: velmar\n    static_configs:\n"
                                            "      - targets: ['127.0.0.1:%1']\n")
                                 .arg(rig.exporter_port()));
        QTRY_VERIFY_WITH_TIMEOUT(query(QStringLiteral("count(velmar_up == 1)")) == unit_count,
                                 20000);
    }

    void a_live_scrape_passes_promtool()
    {
        QProcess promtool;
        promtool.start(QStringLiteral(VELMAR_PROMTOOL_PATH),
                       {QStringLiteral("check"), QStringLiteral("metrics")});
        QVERIFY(promtool.waitForStarted());
        promtool.write(rig.scrape());
        promtool.closeWriteChannel();
        QVERIFY(promtool.waitForFinished(Exporter_rig::wait_ms));
        QCOMPARE(
            QString::fromUtf8(promtool.readAllStandardOutput() + promtool.readAllStandardError()),
            QString());
        QCOMPARE(promtool.exitCode(), 0);
    }

    void values_are_what_each_unit_sent()
    {
        for (int index = 0; index < unit_count; ++index) {
            QCOMPARE(stored("velmar_sfp_rx_power_dbm", index, R"(cage="sfp1",channel="1")"),
                     -10.5 - index);
            // 25 + 5 per step of the temperature code.
            QCOMPARE(stored("velmar_sfp_temperature_celsius", index, R"(cage="sfp2")"),
                     30.0 + 5 * index);
            QCOMPARE(stored("velmar_protocol_version_info", index, R"(version="2.0")"), 1.0);
            // The power of the other direction is absent, not 0.
            QVERIFY(
                std::isnan(stored("velmar_sfp_tx_power_dbm", index, R"(cage="sfp1",channel="1")")));
        }
    }

    void counters_are_what_each_unit_sent_while_clients_misbehave()
    {
        // One series for the unit given twice, under the name the pattern found.
        QCOMPARE(query(QStringLiteral("count(velmar_up)")), double(unit_count));
        QCOMPARE(query(matches.arg(alias())), 1.0);
        QCOMPARE(query(matches.arg(rig.folder() + "/by-id/usb-*")), double(unit_count));
        QCOMPARE(query(matches.arg(nothing())), 0.0);
        std::vector<qint64> sent_before, counted_before, sent_after, counted_after;
        QVERIFY(rig.quiesce(&sent_before, &counted_before));
        rig.resume();
        checks_while_a_slow_client_dribbles();
        if (QTest::currentTestFailed())
            return;
        QVERIFY(rig.quiesce(&sent_after, &counted_after));
        for (int index = 0; index < unit_count; ++index) {
            const qint64 sent = sent_after[index] - sent_before[index];
            QVERIFY(sent > 0);
            QCOMPARE(counted_after[index] - counted_before[index], sent);
            // What Prometheus stored is what the exporter counted.
            const QString statuses = rig.series("velmar_status_messages_total", index);
            const QString mismatches = rig.series("velmar_crc_mismatches_total", index);
            QTRY_COMPARE_WITH_TIMEOUT(query(statuses + " + " + mismatches),
                                      double(counted_after[index]), Exporter_rig::wait_ms);
            const double damaged = query(mismatches);
            QVERIFY2(index == damaged_unit ? damaged > 0 : damaged == 0, qPrintable(mismatches));
            // The judgement of silence comes after the last status.
            QTRY_VERIFY_WITH_TIMEOUT(stored("velmar_silences_total", index) >= 2,
                                     Exporter_rig::wait_ms);
        }
        // Where each request goes, as a client sees it.
        const QString index = QStringLiteral("http://127.0.0.1:%1/").arg(rig.exporter_port());
        QVERIFY(rig.get(index).contains("href=\"/metrics\""));
        const QList<QPair<QByteArray, int>> routes{
            {"GET /", 200},    {"HEAD /metrics", 200}, {"POST /metrics", 405},
            {"DELETE /", 405}, {"GET /metrics/", 404}, {"GET /metrics.txt", 404}};
        for (const auto &route : routes) {
            Socket socket = connected(rig.exporter_port());
            socket->write(route.first + " HTTP/1.0\r\n\r\n");
            QByteArray reply;
            QVERIFY(answered_or_closed(*socket, &reply));
            QVERIFY2(status_of(reply) == route.second,
                     (route.first + ": " + reply.left(40)).constData());
        }
    }

    void an_unplugged_unit_is_down_while_the_others_go_on()
    {
        rig.resume();
        QTRY_VERIFY_WITH_TIMEOUT(query(QStringLiteral("count(velmar_up == 1)")) == unit_count,
                                 Exporter_rig::wait_ms);
        const double others_before = stored("velmar_status_messages_total", 1);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(rig.unit(0).unplug(unplugged_ms));
        QTRY_COMPARE_WITH_TIMEOUT(stored("velmar_up", 0), 0.0, up_within_ms);
        qInfo() << "velmar_up 0 in Prometheus" << clock.elapsed() << "ms after the unplug";
        QCOMPARE(stored("velmar_port_open", 0), 0.0);
        // Its link gone, the pattern matches one port less, and the second
        // name, which leads nowhere now, none.
        QTRY_COMPARE_WITH_TIMEOUT(query(matches.arg(rig.folder() + "/by-id/usb-*")),
                                  double(unit_count - 1), up_within_ms);
        QCOMPARE(query(matches.arg(alias())), 0.0);
        // Nothing stale stays behind.
        QVERIFY(std::isnan(stored("velmar_sfp_rx_power_dbm", 0, R"(cage="sfp1",channel="1")")));
        QTRY_VERIFY2_WITH_TIMEOUT(stored("velmar_status_messages_total", 1) > others_before,
                                  qPrintable(QStringLiteral("%1 then %2")
                                                 .arg(others_before)
                                                 .arg(stored("velmar_status_messages_total", 1))),
                                  up_within_ms);
        QCOMPARE(stored("velmar_up", 1), 1.0);
        QCOMPARE(stored("velmar_up", 2), 1.0);

        QTRY_COMPARE_WITH_TIMEOUT(stored("velmar_up", 0), 1.0, unplugged_ms + new_unit_within_ms);
        QCOMPARE(stored("velmar_port_losses_total", 0), 1.0);
        QCOMPARE(stored("velmar_sfp_rx_power_dbm", 0, R"(cage="sfp1",channel="1")"), -10.5);
    }

    void a_unit_plugged_in_later_is_scraped()
    {
        QElapsedTimer clock;
        clock.start();
        QVERIFY(rig.add_unit());
        QTRY_COMPARE_WITH_TIMEOUT(stored("velmar_up", unit_count), 1.0, new_unit_within_ms);
        qInfo() << "the new unit up in Prometheus" << clock.elapsed() << "ms after it appeared";
    }

    void velmar_ctl_is_refused_the_units_the_exporter_holds()
    {
        // Under the node, which Qt's lock file, kept by name, knows nothing of.
        const QString node = rig.unit(held_unit).slave_path();
        const QString holder = QStringLiteral(": cannot open %1: held by velmar-exporter (pid %2)")
                                   .arg(node)
                                   .arg(rig.exporter_pid());
        for (const QStringList &command : {QStringList{"watch", "--port", node, "--count", "1"},
                                           QStringList{"set", "--port", node, "--gain1", "50"}}) {
            Child_process ctl(QStringLiteral(VELMAR_CTL_PATH));
            ctl.start(command);
            QVERIFY(ctl.wait_for_exit());
            QCOMPARE(ctl.exit_code(), 3);
            const QStringList said = ctl.error_lines();
            QCOMPARE(said.size(), 1);
            QVERIFY2(said[0].endsWith(holder), qPrintable(said[0]));
        }
    }

    void every_dashboard_query_draws_a_healthy_and_a_failing_rack()
    {
        const auto queries = dashboard_queries();
        QVERIFY2(queries.size() >= 12, "a dashboard query lost, or a legend without the instance");
        const QString unlocked =
            QStringLiteral("sum by (instance, port, unit) (1 - velmar_lock{port=\"%1\"})");
        rig.resume();
        QTRY_COMPARE_WITH_TIMEOUT(query(QStringLiteral("count(velmar_up == 1)")),
                                  double(rig.unit_count()), Exporter_rig::wait_ms);
        for (int failing = 0; failing < 2; ++failing) {
            for (const auto &panel : queries) {
                QTRY_VERIFY2_WITH_TIMEOUT(!rig.results(panel.second).isEmpty(),
                                          qPrintable(panel.first + ": " + panel.second),
                                          Exporter_rig::wait_ms);
            }
            // The lock panel draws 0 while every row is locked, not nothing.
            QCOMPARE(query(unlocked.arg(rig.link(held_unit))), double(failing));
            QCOMPARE(query(unlocked.arg(rig.link(damaged_unit))), 0.0);
            if (failing == 1)
                break;
            // A rack in trouble: a unit with a Tx fault and row 3 unlocked, another silent.
            QVERIFY(rig.unit(held_unit).execute(QStringLiteral("lock 0b1011")));
            QVERIFY(rig.unit(held_unit).execute(QStringLiteral("tx_fault 1")));
            rig.unit(aliased_unit).silence(60000);
            QTRY_COMPARE_WITH_TIMEOUT(query(unlocked.arg(rig.link(held_unit))), 1.0,
                                      Exporter_rig::wait_ms);
            QTRY_COMPARE_WITH_TIMEOUT(stored("velmar_up", aliased_unit), 0.0,
                                      Exporter_rig::wait_ms);
        }
        const QString instances =
            QStringLiteral("http://127.0.0.1:%1/api/v1/label/instance/values?match[]=velmar_up");
        QCOMPARE(QJsonDocument::fromJson(rig.get(instances.arg(rig.prometheus_port())))["data"]
                     .toArray()
                     .size(),
                 1);
    }

private:
    // Oversized requests and random bytes: refused with an error (a 4xx for
    // the oversized ones), or the connection dropped; never a 200.
    void junk_is_refused()
    {
        QByteArrayList requests{"GET /" + QByteArray(oversized_bytes, 'a') + " HTTP/1.1\r\n\r\n",
                                "GET /metrics HTTP/1.1\r\n"};
        while (requests[1].size() < oversized_bytes)
            requests[1] += "X-Filler: " + QByteArray(100, 'b') + "\r\n";
        requests[1] += "\r\n";
        for (int client = 0; client < random_clients; ++client) {
            requests << QByteArray(random_bytes, '\0');
            for (char &byte : requests.last())
                byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
        }
        for (const QByteArray &request : requests) {
            Socket socket = connected(rig.exporter_port());
            socket->write(request);
            QByteArray reply;
            QVERIFY(answered_or_closed(*socket, &reply));
            const int status = status_of(reply);
            const bool oversized = request.size() >= oversized_bytes;
            QVERIFY2(reply.isEmpty() || (status >= 400 && (status < 500 || !oversized)),
                     reply.left(80).constData());
        }
    }

    void a_crowd_is_served()
    {
        std::vector<Socket> sockets;
        for (int client = 0; client < crowd; ++client) {
            sockets.push_back(connected(rig.exporter_port()));
            sockets.back()->write("GET /metrics HTTP/1.0\r\n\r\n");
        }
        int served = 0;
        for (Socket &socket : sockets) {
            QByteArray reply;
            QVERIFY(answered_or_closed(*socket, &reply));
            served += status_of(reply) == 200 ? 1 : 0;
        }
        QCOMPARE(served, crowd);
    }

    void checks_while_a_slow_client_dribbles()
    {
        const QByteArray request = "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n";
        Socket slow = connected(rig.exporter_port());
        int sent = 0;
        QTimer dribble;
        QObject::connect(&dribble, &QTimer::timeout, [&] {
            if (sent < request.size())
                slow->write(request.mid(sent++, 1));
        });
        dribble.start(slow_byte_ms);

        junk_is_refused();
        a_crowd_is_served();
        // The server gives up on it rather than wait for the rest of its request.
        QTRY_VERIFY_WITH_TIMEOUT(slow->state() == QAbstractSocket::UnconnectedState,
                                 slow_client_ms);
        QVERIFY(sent < request.size());
    }

    double query(const QString &expression) { return rig.query(expression); }
    // What Prometheus holds now of a unit's series.
    double stored(const char *name, int unit, const QString &more_labels = QString())
    {
        return query(rig.series(name, unit, more_labels));
    }

    // Every query of the shipped dashboard, as Grafana sends it with "All"
    // chosen, under the panel's title; none when a legend leaves out the
    // instance.
    QList<QPair<QString, QString>> dashboard_queries()
    {
        QFile file(QStringLiteral(VELMAR_DASHBOARD_PATH));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QList<QPair<QString, QString>> queries;
        const QJsonArray panels = QJsonDocument::fromJson(file.readAll())["panels"].toArray();
        for (const QJsonValue &panel : panels) {
            const QJsonArray targets = panel["targets"].toArray();
            for (const QJsonValue &target : targets) {
                // Two rack PCs may each have a /dev/ttyUSB0.
                if (!target["legendFormat"].toString().contains(QLatin1String("{{instance}}")))
                    return {};
                QString expression = target["expr"].toString();
                expression.replace(QLatin1String("$instance"), QLatin1String(".+"))
                    .replace(QLatin1String("$port"), QLatin1String(".+"));
                queries.append({panel["title"].toString(), expression});
            }
        }
        return queries;
    }

    QString alias() const { return rig.folder() + QStringLiteral("/via/unit-0"); }
    QString nothing() const { return rig.folder() + QStringLiteral("/none-*"); }
    const QString matches = QStringLiteral("velmar_pattern_matches{pattern=\"%1\"}");

    Exporter_rig rig;
};

QTEST_GUILESS_MAIN(Tst_exporter_prometheus)
#include "tst_exporter_prometheus.moc"
