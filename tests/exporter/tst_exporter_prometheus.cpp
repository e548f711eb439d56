// velmar-exporter on three simulated units, scraped once a second by a real
// Prometheus server started here, and everything checked through
// Prometheus's HTTP API: the values, the counters, an unplugged unit and a
// unit that comes later.

#include "exporter_rig.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QUrl>
#include <QtTest/QtTest>

#include <cmath>

namespace {

constexpr int unit_count = 3;
// Every fourth frame of this unit leaves with a broken CRC.
constexpr int damaged_unit = 2;
constexpr int up_within_ms = 3000;
constexpr int new_unit_within_ms = 10000;
constexpr int unplugged_ms = 4000;
constexpr int running_ms = 2000;

} // namespace

class Tst_exporter_prometheus : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void a_live_scrape_passes_promtool();
    void values_are_what_each_unit_sent();
    void counters_are_what_each_unit_sent();
    void an_unplugged_unit_is_down_while_the_others_go_on();
    void a_unit_plugged_in_later_is_scraped();

private:
    // The value of one series now, NaN when Prometheus has none.
    double query(const QString &expression);
    QString series(const char *name, int unit, const QString &more = QString()) const;

    Exporter_rig rig;
    std::unique_ptr<Child_process> prometheus;
    quint16 prometheus_port = 0;
};

void Tst_exporter_prometheus::initTestCase()
{
    QVERIFY2(QFile::exists(QStringLiteral(VELMAR_PROMETHEUS_PATH)),
             "prometheus is not installed: scripts/install-deps.sh installs it");
    for (int index = 0; index < unit_count; ++index) {
        Unit_simulator *unit = rig.add_unit();
        QVERIFY(unit);
        // Each unit its own figures, so that a mix-up of ports shows.
        QVERIFY(unit->execute(QStringLiteral("sfp1.power1 %1").arg(-10.5 - index)));
        QVERIFY(unit->execute(QStringLiteral("sfp2.temp %1").arg(index + 1)));
    }
    QVERIFY(rig.unit(damaged_unit).execute(QStringLiteral("badcrc 0.25")));
    QVERIFY(rig.start_exporter());

    prometheus_port = Exporter_rig::free_port();
    const QString config = rig.folder() + QStringLiteral("/prometheus.yml");
    QFile file(config);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                              "scrape_configs:\n  - job_name: velmar\n    static_configs:\n"
                              "      - targets: ['127.0.0.1:%1']\n")
                   .arg(rig.exporter_port())
                   .toUtf8());
    file.close();
    prometheus = std::make_unique<Child_process>(QStringLiteral(VELMAR_PROMETHEUS_PATH));
    prometheus->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    prometheus->start({QStringLiteral("--config.file=") + config,
                       QStringLiteral("--storage.tsdb.path=") + rig.folder() + "/data",
                       QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(prometheus_port),
                       QStringLiteral("--log.level=warn")});
    QTRY_VERIFY_WITH_TIMEOUT(query(QStringLiteral("count(velmar_up == 1)")) == unit_count, 20000);
}

void Tst_exporter_prometheus::cleanupTestCase()
{
    if (prometheus)
        prometheus->terminate();
}

QString Tst_exporter_prometheus::series(const char *name, int unit, const QString &more) const
{
    return QStringLiteral("%1{port=\"%2\"%3}")
        .arg(QLatin1String(name), rig.link(unit), more.isEmpty() ? QString() : "," + more);
}

double Tst_exporter_prometheus::query(const QString &expression)
{
    // Encoded in full: a + left as it is would arrive as a blank.
    const QString url = QStringLiteral("http://127.0.0.1:%1/api/v1/query?query=%2")
                            .arg(prometheus_port)
                            .arg(QString::fromLatin1(QUrl::toPercentEncoding(expression)));
    const QJsonArray result =
        QJsonDocument::fromJson(rig.get(url)).object()["data"].toObject()["result"].toArray();
    if (result.size() != 1)
        return std::nan("");
    return result[0].toObject()["value"].toArray()[1].toString().toDouble();
}

void Tst_exporter_prometheus::a_live_scrape_passes_promtool()
{
    QProcess promtool;
    promtool.start(QStringLiteral(VELMAR_PROMTOOL_PATH),
                   {QStringLiteral("check"), QStringLiteral("metrics")});
    QVERIFY(promtool.waitForStarted());
    promtool.write(rig.scrape());
    promtool.closeWriteChannel();
    QVERIFY(promtool.waitForFinished(Exporter_rig::wait_ms));
    const QString said =
        QString::fromUtf8(promtool.readAllStandardOutput() + promtool.readAllStandardError());
    // The wavelength keeps the name dashboards were promised, in nanometres;
    // promtool's only remark is that its convention would have metres.
    QCOMPARE(
        said.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
        QStringList{
            R"(velmar_sfp_wavelength_nanometers use base unit "meters" instead of "nanometers")"});
}

void Tst_exporter_prometheus::values_are_what_each_unit_sent()
{
    for (int index = 0; index < unit_count; ++index) {
        const QString rx = series("velmar_sfp_rx_power_dbm", index, R"(cage="sfp1",channel="1")");
        const QString temperature =
            series("velmar_sfp_temperature_celsius", index, R"(cage="sfp2")");
        // 25 + 5 per step of the temperature code.
        QCOMPARE(query(rx), -10.5 - index);
        QCOMPARE(query(temperature), 30.0 + 5 * index);
        QCOMPARE(query(series("velmar_protocol_version_info", index, R"(version="2.0")")), 1.0);
        // The power of the other direction is absent, not 0.
        QVERIFY(std::isnan(
            query(series("velmar_sfp_tx_power_dbm", index, R"(cage="sfp1",channel="1")"))));
    }
}

void Tst_exporter_prometheus::counters_are_what_each_unit_sent()
{
    std::vector<qint64> sent_before, counted_before, sent_after, counted_after;
    QVERIFY(rig.quiesce(&sent_before, &counted_before));
    rig.resume();
    QTest::qWait(running_ms);
    QVERIFY(rig.quiesce(&sent_after, &counted_after));
    for (int index = 0; index < unit_count; ++index) {
        const qint64 sent = sent_after[index] - sent_before[index];
        QVERIFY(sent > 0);
        QCOMPARE(counted_after[index] - counted_before[index], sent);
        // What Prometheus stored is what the exporter counted.
        const QString statuses = series("velmar_status_messages_total", index);
        const QString mismatches = series("velmar_crc_mismatches_total", index);
        QTRY_COMPARE_WITH_TIMEOUT(query(statuses + " + " + mismatches),
                                  double(counted_after[index]), Exporter_rig::wait_ms);
        const double damaged = query(mismatches);
        QVERIFY2(index == damaged_unit ? damaged > 0 : damaged == 0, qPrintable(mismatches));
        // The judgement of silence comes after the last status.
        QTRY_VERIFY_WITH_TIMEOUT(query(series("velmar_silences_total", index)) >= 2,
                                 Exporter_rig::wait_ms);
    }
}

void Tst_exporter_prometheus::an_unplugged_unit_is_down_while_the_others_go_on()
{
    rig.resume();
    QTRY_VERIFY_WITH_TIMEOUT(query(QStringLiteral("count(velmar_up == 1)")) == unit_count,
                             Exporter_rig::wait_ms);
    const double others_before = query(series("velmar_status_messages_total", 1));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(rig.unit(0).unplug(unplugged_ms));
    QTRY_COMPARE_WITH_TIMEOUT(query(series("velmar_up", 0)), 0.0, up_within_ms);
    qInfo() << "velmar_up 0 in Prometheus" << clock.elapsed() << "ms after the unplug";
    QCOMPARE(query(series("velmar_port_open", 0)), 0.0);
    // Nothing stale stays behind.
    QVERIFY(std::isnan(query(series("velmar_sfp_rx_power_dbm", 0, R"(cage="sfp1",channel="1")"))));
    QTRY_VERIFY2_WITH_TIMEOUT(
        query(series("velmar_status_messages_total", 1)) > others_before,
        qPrintable(QStringLiteral("%1 then %2")
                       .arg(others_before)
                       .arg(query(series("velmar_status_messages_total", 1)))),
        up_within_ms);
    QCOMPARE(query(series("velmar_up", 1)), 1.0);
    QCOMPARE(query(series("velmar_up", 2)), 1.0);

    QTRY_COMPARE_WITH_TIMEOUT(query(series("velmar_up", 0)), 1.0,
                              unplugged_ms + new_unit_within_ms);
    QCOMPARE(query(series("velmar_port_losses_total", 0)), 1.0);
    QCOMPARE(query(series("velmar_sfp_rx_power_dbm", 0, R"(cage="sfp1",channel="1")")), -10.5);
}

void Tst_exporter_prometheus::a_unit_plugged_in_later_is_scraped()
{
    QElapsedTimer clock;
    clock.start();
    QVERIFY(rig.add_unit());
    QTRY_COMPARE_WITH_TIMEOUT(query(series("velmar_up", unit_count)), 1.0, new_unit_within_ms);
    qInfo() << "the new unit up in Prometheus" << clock.elapsed() << "ms after it appeared";
}

QTEST_GUILESS_MAIN(Tst_exporter_prometheus)
#include "tst_exporter_prometheus.moc"
