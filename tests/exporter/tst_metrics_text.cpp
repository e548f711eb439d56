// The exporter without a line or a server: which samples a reading gives,
// where a request goes, and what the operator's words (ports, patterns, the
// configuration, the address) turn into. promtool checks the text's layout
// on a live scrape, in tst_exporter_prometheus.

#include "exporter/exporter_config.h"
#include "exporter/listen_address.h"
#include "exporter/metrics_server.h"
#include "exporter/metrics_text.h"
#include "exporter/port_pattern.h"
#include "exporter/port_plan.h"
#include "simulator/healthy_unit.h"
#include "support/property.h"

#include <QtTest/QtTest>

#include <algorithm>
#include <random>

namespace {

using S = Unit_status;

Unit_reading reading_of(const Unit_status &status)
{
    Unit_reading reading;
    reading.port = QStringLiteral("/dev/u");
    reading.port_open = true;
    reading.status = status;
    reading.last_status_ms = 1700000000000;
    return reading;
}

QStringList lines_of(const std::vector<Unit_reading> &readings)
{
    return QString::fromUtf8(Metrics_text::render(readings, {})).split(QLatin1Char('\n'));
}

// A made-up /dev: devices, each with its node and some links, and a line of
// the configuration for some of the names, with or without a unit name.
struct Made_up_names
{
    std::vector<Port_plan::Name> names; // in the order of the lines
    int devices = 0;
};

Made_up_names made_up_names(bool one_unit_name_per_device)
{
    static const QStringList folders{QStringLiteral("/dev/serial/by-id/"),
                                     QStringLiteral("/dev/serial/by-path/"),
                                     QStringLiteral("/dev/")};
    Made_up_names made;
    made.devices = *rc::gen::inRange(1, 5);
    for (int device = 0; device < made.devices; ++device) {
        const QString key = QStringLiteral("device %1").arg(device);
        made.names.push_back({QStringLiteral("/dev/ttyUSB%1").arg(device), key, false, {}});
        const auto links = *rc::gen::container<std::vector<int>>(rc::gen::inRange(0, 3));
        for (std::size_t at = 0; at < links.size(); ++at)
            made.names.push_back(
                {folders[links[at]] + QStringLiteral("unit-%1-%2").arg(device).arg(at),
                 key,
                 true,
                 {}});
    }
    // Any order of the lines, each name given by one or more of them.
    const auto order = *rc::gen::container<std::vector<std::size_t>>(
        rc::gen::inRange<std::size_t>(0, made.names.size()));
    std::vector<Port_plan::Name> lines = made.names;
    for (std::size_t at : order)
        lines.push_back(made.names[at]);
    std::shuffle(lines.begin(), lines.end(), std::mt19937(*rc::gen::arbitrary<unsigned>()));
    QSet<QString> named;
    for (Port_plan::Name &line : lines) {
        if (*rc::gen::inRange(0, 4) != 0 ||
            (one_unit_name_per_device && named.contains(line.device)))
            continue;
        line.unit = QStringLiteral("unit-of-") + line.device.section(QLatin1Char(' '), 1);
        named.insert(line.device);
    }
    made.names = lines;
    return made;
}

} // namespace

class Tst_metrics_text : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Out of the class: moc cannot read its raw strings.
    void samples_follow_the_report_data();

    void samples_follow_the_report()
    {
        QFETCH(Unit_reading, reading);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        const QStringList lines = lines_of({reading});
        for (const QString &sample : present)
            QVERIFY2(lines.contains(sample), qPrintable(sample));
        for (const QString &start : absent) {
            for (const QString &line : lines)
                QVERIFY2(!line.startsWith(start), qPrintable(line));
        }
    }

    void a_silent_unit_keeps_only_up_port_and_counters()
    {
        Unit_reading silent = reading_of(Unit_status());
        silent.status.reset();
        silent.status_messages = 12;
        silent.silences = 1;
        silent.last_status_ms = 1700000000250;
        const QStringList lines = lines_of({silent});
        QSet<QString> families;
        for (const QString &line : lines) {
            if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
                families.insert(line.section(QLatin1Char('{'), 0, 0)); // the metric
        }
        const QSet<QString> expected{"velmar_up",
                                     "velmar_port_open",
                                     "velmar_status_messages_total",
                                     "velmar_silences_total",
                                     "velmar_crc_mismatches_total",
                                     "velmar_short_messages_total",
                                     "velmar_port_losses_total",
                                     "velmar_last_status_timestamp_seconds"};
        QCOMPARE(families, expected);
        QVERIFY(lines.contains(R"(velmar_up{port="/dev/u"} 0)"));
        QVERIFY(lines.contains(R"(velmar_status_messages_total{port="/dev/u"} 12)"));
        QVERIFY(lines.contains(
            R"(velmar_last_status_timestamp_seconds{port="/dev/u"} 1700000000.250)"));
    }

    void wavelengths_are_metres_that_read_back_as_sent()
    {
        QVERIFY(holds("the wavelength in metres is the nanometres sent", [] {
            const auto nm = *rc::gen::inRange<int>(0, 65536);
            Unit_status status = healthy_unit();
            status.cages[S::sfp_1].channels[1].wavelength_nm = static_cast<uint16_t>(nm);
            const QString start =
                R"(velmar_sfp_wavelength_meters{port="/dev/u",cage="sfp1",channel="2"} )";
            const QStringList lines = lines_of({reading_of(status)}).filter(start);
            RC_ASSERT(lines.size() == 1);
            bool number = false;
            const double metres = lines[0].mid(start.size()).toDouble(&number);
            RC_ASSERT(number);
            RC_ASSERT(metres == nm / 1e9);
            RC_ASSERT(std::llround(metres * 1e9) == nm);
        }));
    }

    // GET /metrics, / and an unknown path go over HTTP in tst_exporter_hostile.
    void requests_are_routed()
    {
        using Route = Metrics_server::Route;
        const struct
        {
            const char *method;
            const char *path;
            Route route;
        } requests[]{{"HEAD", "/metrics", Route::metrics},
                     {"POST", "/metrics", Route::method_not_allowed},
                     {"DELETE", "/", Route::method_not_allowed},
                     {"GET", "/metrics/", Route::not_found},
                     {"GET", nullptr, Route::not_found}};
        for (const auto &request : requests) {
            QVERIFY2(Metrics_server::route(request.method, request.path) == request.route,
                     (QByteArray(request.method) + ' ' + request.path).constData());
        }
    }

    void patterns_match_like_the_shell()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString root = dir.path();
        for (const char *name :
             {"a/usb-1", "a/usb-2", "a/.usb-hidden", "a/USB-3", "b/usb-4", "c/tty"}) {
            QFile file(root + QLatin1Char('/') + QLatin1String(name));
            QVERIFY(QDir(root).mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly));
        }
        const Port_pattern glob(root + QStringLiteral("/*/usb-[0-9]"));
        QVERIFY(glob.is_glob());
        QCOMPARE(glob.matches(),
                 (QStringList{root + "/a/usb-1", root + "/a/usb-2", root + "/b/usb-4"}));
        QCOMPARE(Port_pattern(root + QStringLiteral("/none/*")).matches(), QStringList());
        // A plain path is watched before it exists; a bare name is a device.
        QCOMPARE(Port_pattern(root + QStringLiteral("/later")).matches(),
                 QStringList{root + "/later"});
        QCOMPARE(Port_pattern(QStringLiteral("ttyUSB0")).text(), QStringLiteral("/dev/ttyUSB0"));
    }

    void each_device_is_one_port_under_its_steadiest_name()
    {
        QVERIFY(holds("one port per device, under a link if it has one, by-id first", [] {
            const Made_up_names made = made_up_names(false);
            const std::vector<Port_plan::Port> ports = Port_plan::plan(made.names);
            RC_ASSERT(int(ports.size()) == made.devices);
            for (const Port_plan::Port &port : ports) {
                QSet<QString> names;
                bool has_link = false;
                bool has_by_id = false;
                for (const Port_plan::Name &name : made.names) {
                    if (name.device != port.device)
                        continue;
                    names.insert(name.path);
                    has_link |= name.is_link;
                    has_by_id |= name.path.startsWith(QLatin1String("/dev/serial/by-id/"));
                }
                QSet<QString> watched(port.aliases.begin(), port.aliases.end());
                watched.insert(port.path);
                RC_ASSERT(watched == names);
                RC_ASSERT(port.path.startsWith(QLatin1String("/dev/ttyUSB")) == !has_link);
                RC_ASSERT(!has_by_id || port.path.startsWith(QLatin1String("/dev/serial/by-id/")));
            }
        }));
    }

    void a_unit_name_follows_its_device_whatever_the_order()
    {
        QVERIFY(holds("the same ports and unit names in any order of the lines", [] {
            Made_up_names made = made_up_names(true);
            const std::vector<Port_plan::Port> ports = Port_plan::plan(made.names);
            std::shuffle(made.names.begin(), made.names.end(),
                         std::mt19937(*rc::gen::arbitrary<unsigned>()));
            const std::vector<Port_plan::Port> reordered = Port_plan::plan(made.names);
            RC_ASSERT(ports.size() == reordered.size());
            for (std::size_t at = 0; at < ports.size(); ++at) {
                RC_ASSERT(ports[at].path == reordered[at].path);
                RC_ASSERT(ports[at].unit == reordered[at].unit);
                const bool named = std::any_of(
                    made.names.begin(), made.names.end(), [&](const Port_plan::Name &name) {
                        return name.device == ports[at].device && !name.unit.isEmpty();
                    });
                RC_ASSERT(ports[at].unit.isEmpty() == !named);
                RC_ASSERT(ports[at].other_units.isEmpty());
            }
        }));
    }

    // Its commented settings taken in, as a site would.
    void the_shipped_configuration_means_what_it_says()
    {
        QFile file(QStringLiteral(VELMAR_SHIPPED_CONFIG));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QString text = QString::fromUtf8(file.readAll());
        text.replace(QRegularExpression(QStringLiteral("^#(\\w+( [\\w.-]+)? =)"),
                                        QRegularExpression::MultilineOption),
                     QStringLiteral("\\1"));
        Exporter_config config;
        QString error;
        QVERIFY2(Exporter_config::parse(text, &config, &error), qPrintable(error));
        QCOMPARE(config.warnings, QStringList());
        QCOMPARE(config.ports.size(), std::size_t(2));
        QCOMPARE(config.ports[1].unit(), QStringLiteral("line-3"));
        QCOMPARE(config.web_config, QStringLiteral("/etc/velmar-exporter-web.yml"));
    }

    void configuration_lines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error");     // empty: parsed
        QTest::addColumn<QStringList>("ports"); // unit=path, as parsed
        QTest::addColumn<QString>("listen");    // empty: not given
        QTest::addColumn<QStringList>("warnings");
        const auto row = [](const char *name, const char *text, const char *error,
                            const QStringList &ports = {}, const char *listen = "",
                            const QStringList &warnings = {}) {
            QTest::newRow(name) << QString(text) << QString(error) << ports << QString(listen)
                                << warnings;
        };
        row("every setting",
            "# rack 7\n\nlisten = 0.0.0.0:9400\nbaud=57600\nport = /dev/serial/by-id/usb-*\n"
            "unit line-3.a = /dev/serial/by-id/usb-3\nweb_config = web.yml\n",
            "", {"=/dev/serial/by-id/usb-*", "line-3.a=/dev/serial/by-id/usb-3"}, "0.0.0.0:9400");
        row("a port named before the pattern that also matches it",
            "unit a = /dev/ttyS0\nport = /dev/ttyS*\n", "", {"a=/dev/ttyS0", "=/dev/ttyS*"});
        row("a port given twice, then named",
            "port = /dev/ttyS0\nport=/dev/ttyS0\nunit a = /dev/ttyS0\n", "", {"a=/dev/ttyS0"}, "",
            {"line 2: /dev/ttyS0 is given on line 1 already",
             "line 3: /dev/ttyS0 is given on line 1 already"});
        row("terminal servers, as given",
            "listen = [::1]:9367\nbaud = 57600\nport = socket://[::1]:4002\n"
            "unit rack-3 = RFC2217://ts1.example:4001\nweb_config = web.yml\n",
            "", {"=socket://[::1]:4002", "rack-3=RFC2217://ts1.example:4001"}, "[::1]:9367");
        row("a unit name given twice", "unit a = /dev/ttyS0\nunit a = /dev/ttyS1\n",
            "line 2: unit a is named on line 1 already");
        row("a port named twice", "unit a = /dev/ttyS0\nunit b = /dev/ttyS0\n",
            "line 2: /dev/ttyS0 is named a on line 1 already");
        row("a unit named by a pattern", "unit a = /dev/ttyS*\n",
            "line 1: unit a names one port by its path; '/dev/ttyS*' is a pattern");
        row("unknown setting", "port = /dev/a\nspeed = 9600\n", "line 2: unknown setting 'speed'");
        row("no equals sign", "port /dev/a\n", "line 1: expected NAME = VALUE");
        row("unit name with a blank", "unit rack 7 = /dev/a\n",
            "line 1: unknown setting 'unit rack 7'");
        row("bad baud", "\nbaud = fast\n", "line 2: baud:");
        row("empty port", "port =\n", "line 1: 'port' has no value");
        row("a bad URL", "unit rack-3 = rfc2217://ts1.example\n",
            "line 1: rfc2217://ts1.example: no port");
    }

    void configuration_lines()
    {
        QFETCH(QString, text);
        QFETCH(QString, error);
        QFETCH(QStringList, ports);
        QFETCH(QString, listen);
        QFETCH(QStringList, warnings);
        Exporter_config config;
        QString reason;
        QCOMPARE(Exporter_config::parse(text, &config, &reason), error.isEmpty());
        QVERIFY2(error.isEmpty() ? reason.isEmpty() : reason.startsWith(error), qPrintable(reason));
        if (!error.isEmpty())
            return;
        QStringList parsed;
        for (const Port_pattern &port : config.ports)
            parsed.append(port.unit() + QLatin1Char('=') + port.text());
        QCOMPARE(parsed, ports);
        QCOMPARE(config.warnings.size(), warnings.size());
        for (int at = 0; at < warnings.size(); ++at)
            QVERIFY2(config.warnings[at].startsWith(warnings[at]), qPrintable(config.warnings[at]));
        if (listen.isEmpty())
            return;
        QCOMPARE(config.listen->text(), listen);
        QCOMPARE(*config.baud_rate, 57600);
        QCOMPARE(config.web_config, QStringLiteral("web.yml"));
    }

    void listen_addresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<bool>("ipv6");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("loopback"); // only this machine reaches it
        QTest::newRow("loopback") << "127.0.0.1:9367" << true << false << 9367 << true;
        QTest::newRow("another loopback address")
            << "127.0.1.1:9367" << true << false << 9367 << true;
        QTest::newRow("every interface") << "0.0.0.0:80" << true << false << 80 << false;
        QTest::newRow("IPv6 loopback") << "[::1]:9500" << true << true << 9500 << true;
        QTest::newRow("every IPv6 interface") << "[::]:9500" << true << true << 9500 << false;
        QTest::newRow("host name") << "localhost:9367" << false << false << 0 << false;
        QTest::newRow("IPv6 without brackets") << "::1:9367" << false << false << 0 << false;
        QTest::newRow("no port") << "127.0.0.1" << false << false << 0 << false;
        QTest::newRow("port 0") << "127.0.0.1:0" << false << false << 0 << false;
        QTest::newRow("port too high") << "127.0.0.1:65536" << false << false << 0 << false;
    }

    void listen_addresses()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(bool, ipv6);
        QFETCH(int, port);
        Listen_address address;
        QString error;
        QCOMPARE(Listen_address::parse(text, &address, &error), valid);
        QCOMPARE(error.isEmpty(), valid);
        if (!valid)
            return;
        QCOMPARE(address.ipv6, ipv6);
        QCOMPARE(int(address.port), port);
        QCOMPARE(address.text(), text);
        QFETCH(bool, loopback);
        QCOMPARE(address.is_loopback(), loopback);
    }
};

void Tst_metrics_text::samples_follow_the_report_data()
{
    QTest::addColumn<Unit_reading>("reading");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent"); // samples that must not be there at all

    Unit_status healthy = healthy_unit();
    healthy.dante.gains_reported = true; // as a decoded 2.0 status with the submodule says
    // Every metric a status gives is asked for here, below or on a live
    // scrape (tst_exporter_prometheus): the samples come from the record's
    // fields by name, and a field renamed there would otherwise drop out of
    // the metrics without a word.
    QTest::newRow("healthy 2.0 unit")
        << reading_of(healthy)
        << QStringList{R"(velmar_up{port="/dev/u"} 1)",
                       R"(velmar_sfp_tx_power_dbm{port="/dev/u",cage="sfp1",channel="2"} -2.5)",
                       R"(velmar_sfp_present{port="/dev/u",cage="sfp_eth"} 0)",
                       R"(velmar_lock{port="/dev/u",row="4"} 1)",
                       R"(velmar_link_up{port="/dev/u",link="p2"} 1)",
                       R"(velmar_dante_present{port="/dev/u"} 1)",
                       R"(velmar_dante_ok{port="/dev/u",state="sync"} 1)",
                       R"(velmar_dante_gain_db{port="/dev/u",input="2"} 47.00)",
                       R"(velmar_rx_power_threshold_dbm{port="/dev/u"} -28)",
                       R"(velmar_rx_power_below_threshold{port="/dev/u",cage="sfp2",channel="2"} 0)"}
        << QStringList{R"(velmar_rx_power_below_threshold{port="/dev/u",cage="sfp1",channel="2"})",
                       R"(velmar_sfp_rx_power_dbm{port="/dev/u",cage="sfp1",channel="2"})",
                       R"(velmar_sfp_temperature_celsius{port="/dev/u",cage="sfp_eth"})",
                       R"(velmar_sfp_wavelength_meters{port="/dev/u",cage="sfp_eth",channel="1"})"};

    Unit_status old = healthy;
    old.version = Protocol_version::v1_1;
    QTest::newRow("1.1 unit: no Dante, no threshold")
        << reading_of(old)
        << QStringList{R"(velmar_protocol_version_info{port="/dev/u",version="1.1"} 1)",
                       R"(velmar_rx_fault{port="/dev/u"} 0)"}
        << QStringList{R"(velmar_dante_present{)", R"(velmar_dante_ok{)",
                       R"(velmar_dante_gain_db{)", R"(velmar_rx_power_threshold_dbm{)",
                       R"(velmar_rx_power_below_threshold{)"};

    Unit_status faulty = healthy;
    faulty.rx_fault = faulty.overheat = true;
    faulty.locks[1] = false;
    faulty.dante.system = S::Dante_state::fault;
    Unit_reading named = reading_of(faulty);
    named.port = QStringLiteral(R"(/tmp/odd"port\name)");
    named.unit = QStringLiteral("rack-7");
    QTest::newRow("faults, a lost lock, a named unit on an odd path")
        << named
        << QStringList{R"(velmar_rx_fault{port="/tmp/odd\"port\\name",unit="rack-7"} 1)",
                       R"(velmar_tx_fault{port="/tmp/odd\"port\\name",unit="rack-7"} 0)",
                       R"(velmar_overheat{port="/tmp/odd\"port\\name",unit="rack-7"} 1)",
                       R"(velmar_lock{port="/tmp/odd\"port\\name",unit="rack-7",row="2"} 0)",
                       R"(velmar_dante_ok{port="/tmp/odd\"port\\name",unit="rack-7",state="system"} 0)"}
        << QStringList{};
}

QTEST_GUILESS_MAIN(Tst_metrics_text)
#include "tst_metrics_text.moc"
