// The exporter's text, and what it is made of and from. Without a line or a
// network: which samples a reading gives, where a request goes, what the
// operator's words (ports, patterns, the configuration, the address) turn
// into, and who may read the metrics (the web configuration as Prometheus's
// exporters write it, passwords against bcrypt hashes, the log of refusals).
// With one: the counters of a watched line over generated stories of what the
// line does. And one status, or one stretch of frames, through every front end
// that judges it: the window's colour, the report's JSON and the exporter's
// scrape must tell the same thing, since a production line reads one and an
// operator the others. promtool checks the text's layout on a live scrape, in
// tst_exporter_prometheus.

#include "console/exit_code.h"
#include "exporter/basic_auth.h"
#include "exporter/exporter_config.h"
#include "exporter/exporter_options.h"
#include "exporter/listen_address.h"
#include "exporter/metrics_server.h"
#include "exporter/metrics_snapshot.h"
#include "exporter/metrics_text.h"
#include "exporter/port_pattern.h"
#include "exporter/port_plan.h"
#include "exporter/refusal_log.h"
#include "exporter/unit_watch.h"
#include "exporter/web_config.h"
#include "record/json_record_format.h"
#include "record/record_problems.h"
#include "record/record_timeline.h"
#include "record/recorder.h"
#include "report/json_report.h"
#include "report/report_maker.h"
#include "report/summary_builder.h"
#include "simulator/healthy_unit.h"
#include "simulator/pty_device.h"
#include "support/property.h"
#include "support/pty_line.h"
#include "support/ser2net_server.h"
#include "support/status_payload.h"
#include "support/window_fixture.h"

#include <QtTest/QtTest>
#include <QtWidgets/QLabel>

#include <algorithm>
#include <memory>
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

// Published bcrypt test vectors (crypt_blowfish's own): "U*U" and "U*U*".
const QByteArray u_star_u = "$2a$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW";
const QByteArray u_star_u_2y = "$2y$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW";
const QByteArray u_star_u_star = "$2b$05$CCCCCCCCCCCCCCCCCCCCC.VGOzA784oUp/Z0DY336zx7pLYAy0lwK";

QByteArray basic(const QByteArray &user_and_password)
{
    return "Basic " + user_and_password.toBase64();
}

constexpr qint64 noon = 1796558400000; // 2026-12-06T12:00:00Z

// The report's JSON of a record holding this status for a second.
QJsonObject report_of(const Unit_status &status)
{
    Summary_builder builder;
    builder.begin_input(QStringLiteral("memory"));
    Record_entry entry;
    entry.status = status;
    for (const qint64 at : {noon, noon + 1000}) {
        entry.time_ms = at;
        builder.add(entry);
    }
    builder.finish();
    Report report;
    report.summary = builder.summary();
    return QJsonDocument::fromJson(Json_report::write(report)).object();
}

// "1", "0", or "absent": SFP 1 channel 1 in a scrape.
QString scraped_below(const Unit_status &status)
{
    const QString sample = QStringLiteral(
        R"(velmar_rx_power_below_threshold{port="/dev/u",cage="sfp1",channel="1"} )");
    const QStringList lines = lines_of({reading_of(status)}).filter(sample);
    return lines.isEmpty() ? QStringLiteral("absent") : lines.first().mid(sample.size());
}

// One watched port's counters, as a scrape shows them, over generated
// stories of what a line does: statuses, damaged and short frames, quiet
// periods, the adapter pulled and plugged in again. A counter that goes
// back reads to Prometheus as a restart, and rate() shows a spike. A lost
// port is down at once.

constexpr int line_timeout_ms = 5000;

// Three cages announced and not one block sent: too short for its own 2.0.
const QByteArray short_payload = QByteArray::fromHex("200F0F29");

constexpr int watchdog_ms = 50;

Session_timing story_timing()
{
    Session_timing timing;
    timing.reopen_ms = 20;
    timing.watchdog_ms = watchdog_ms;
    return timing;
}

// Every counter of the scrape of one reading, by its sample's line.
QMap<QString, double> counters(const Unit_reading &reading)
{
    QMap<QString, double> found;
    const QList<QByteArray> lines = Metrics_text::render({reading}).split('\n');
    for (const QByteArray &line : lines) {
        const int space = line.lastIndexOf(' ');
        const QByteArray sample = line.left(space);
        if (!line.startsWith('#') && sample.split('{').first().endsWith("_total"))
            found.insert(QString::fromUtf8(sample), line.mid(space + 1).toDouble());
    }
    return found;
}

// A unit on a pseudo-terminal behind a link, as an adapter under
// /dev/serial/by-id, and the exporter's watch of that link.
class Watched_line
{
public:
    bool open()
    {
        watch = std::make_unique<Unit_watch>(link, QString(), 115200, story_timing());
        return plug() && (watch->open_if_closed(), watch->reading().port_open);
    }

    // Plays one event ('s' status, 'x' damaged frame, 'h' short message, 'q'
    // a quiet period, 'l' the adapter out and back) and waits for its effect.
    bool play(char event)
    {
        const QMap<QString, double> before = counters(now());
        if (event == 'q') {
            QTest::qWait(3 * watchdog_ms);
            return true;
        }
        if (event == 'l') {
            line.reset();
            QFile::remove(link);
            if (!QTest::qWaitFor([&] { return !now().port_open; }, line_timeout_ms))
                return false;
            // Down at once, and a loss is not a silence as well, however
            // long it lasts.
            RC_ASSERT(!now().up());
            const quint64 silences = now().silences;
            QTest::qWait(3 * watchdog_ms);
            RC_ASSERT(now().silences == silences);
            return plug() && QTest::qWaitFor([&] { return now().port_open; }, line_timeout_ms);
        }
        const QByteArray frame = event == 's'   ? Status_payload().frame()
                                 : event == 'x' ? with_bad_crc(Status_payload().frame())
                                                : status_frame(short_payload);
        // Each frame counts somewhere.
        return line->write_all(frame) &&
               QTest::qWaitFor([&] { return counters(now()) != before; }, line_timeout_ms);
    }

    Unit_reading now() const { return watch->reading(); }

private:
    bool plug()
    {
        line = std::make_unique<Pty_device>();
        return line->open() && point_link(link, line->slave_path());
    }

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("unit"));
    std::unique_ptr<Pty_device> line;
    std::unique_ptr<Unit_watch> watch;
};

// Some events, one after the other, each waited for; the counters after each.
void counters_never_go_back()
{
    const int length = *rc::gen::inRange(1, 16);
    const auto story = *rc::gen::container<std::vector<char>>(
        std::size_t(length), rc::gen::element('s', 'x', 'h', 'q', 'l'));
    Watched_line watched;
    RC_ASSERT(watched.open());
    QMap<QString, double> last = counters(watched.now());
    RC_ASSERT(!last.isEmpty());
    for (const char event : story) {
        RC_ASSERT(watched.play(event));
        const QMap<QString, double> seen = counters(watched.now());
        for (auto counter = last.cbegin(); counter != last.cend(); ++counter) {
            RC_ASSERT(seen.contains(counter.key()));
            RC_ASSERT(seen.value(counter.key()) >= counter.value());
        }
        last = seen;
    }
}

} // namespace

Q_DECLARE_METATYPE(Basic_auth::Verdict)

class Tst_metrics_text : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        write(QStringLiteral("server.crt"), "not a certificate\n");
        write(QStringLiteral("server.key"), "not a key\n");
    }

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

    void patterns_match_like_the_shell()
    {
        const QString root = dir.filePath(QStringLiteral("patterns"));
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

    void web_configurations_data()
    {
        QTest::addColumn<QByteArray>("yaml");
        QTest::addColumn<QString>("error"); // the start of it; empty: taken
        // What was taken: TLS (cert, key, client auth, CA, version) and users.
        QTest::addColumn<QString>("taken");
        const QByteArray tls =
            "tls_server_config:\n  cert_file: server.crt\n  key_file: /etc/k.key\n";
        const auto row = [](const char *name, const QByteArray &yaml, const char *error,
                            const char *taken = "") {
            QTest::newRow(name) << yaml << QString(error) << QString(taken);
        };
        row("empty", QByteArray(), "", "no TLS; 0 users");
        row("TLS, files under the configuration's folder", tls, "",
            "/etc/velmar/server.crt /etc/k.key 0 - 771; 0 users");
        row("mutual TLS 1.3 and two users",
            tls +
                "  client_auth_type: RequireAndVerifyClientCert\n  client_ca_file: ca.crt\n"
                "  min_version: TLS13\nbasic_auth_users:\n  prometheus: " +
                u_star_u_2y + "\n  grafana: '" + u_star_u_star + "'\n",
            "", "/etc/velmar/server.crt /etc/k.key 4 /etc/velmar/ca.crt 772; 2 users");
        row("passwords alone", "basic_auth_users:\n  a: " + u_star_u + "\n", "", "no TLS; 1 users");
        row("a setting of theirs not supported here",
            tls + "  cipher_suites: [TLS_AES_128_GCM_SHA256]\n",
            "tls_server_config: 'cipher_suites' is not supported here");
        row("a section not supported here", "http_server_config:\n  http2: false\n",
            "'http_server_config' is not supported here");
        row("a certificate without its key", "tls_server_config:\n  cert_file: a.crt\n",
            "tls_server_config: cert_file and key_file are both needed");
        row("client_auth_type misspelt", tls + "  client_auth_type: RequireClientCert\n",
            "tls_server_config: client_auth_type 'RequireClientCert' is none of");
        row("checked client certificates without an authority",
            tls + "  client_auth_type: VerifyClientCertIfGiven\n",
            "tls_server_config: VerifyClientCertIfGiven needs client_ca_file");
        row("an authority nothing is checked against", tls + "  client_ca_file: ca.crt\n",
            "tls_server_config: client_ca_file is given, but no client_auth_type");
        row("TLS 1.4", tls + "  min_version: TLS14\n",
            "tls_server_config: min_version 'TLS14' is none of");
        row("a password in the clear", "basic_auth_users:\n  a: secret\n",
            "basic_auth_users: the password of 'a' is no bcrypt");
        row("a bcrypt salt without its hash",
            "basic_auth_users:\n  a: $2b$05$CCCCCCCCCCCCCCCCCCCCC.\n",
            "basic_auth_users: the password of 'a' is no bcrypt");
        row("users as a list", "basic_auth_users:\n  - a\n", "basic_auth_users: expected a map");
        row("not YAML", "tls_server_config: [\n", "yaml-cpp");
    }

    void web_configurations()
    {
        QFETCH(QByteArray, yaml);
        QFETCH(QString, error);
        QFETCH(QString, taken);
        Web_config config;
        QString reason;
        QCOMPARE(Web_config::parse(yaml, QStringLiteral("/etc/velmar"), &config, &reason),
                 error.isEmpty());
        QVERIFY2(error.isEmpty() ? reason.isEmpty() : reason.startsWith(error), qPrintable(reason));
        if (!error.isEmpty())
            return;
        QString seen = QStringLiteral("no TLS");
        if (config.tls) {
            const Web_config::Tls &tls = *config.tls;
            seen = QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(tls.cert_file, tls.key_file)
                       .arg(int(tls.client_auth))
                       .arg(tls.client_ca_file.isEmpty() ? QStringLiteral("-") : tls.client_ca_file)
                       .arg(tls.min_version);
        }
        QCOMPARE(seen + QStringLiteral("; %1 users").arg(config.users.size()), taken);
    }

    void passwords_data()
    {
        using V = Basic_auth::Verdict;
        QTest::addColumn<QByteArray>("authorization");
        QTest::addColumn<V>("verdict");
        QTest::addColumn<QByteArray>("user");
        const auto row = [](const char *name, const QByteArray &authorization, V verdict,
                            const QByteArray &user = QByteArray()) {
            QTest::newRow(name) << authorization << verdict << user;
        };
        const QByteArray prometheus = "prometheus";
        row("the other user's", basic("grafana:U*U*"), V::granted, "grafana");
        row("scheme in lower case", "basic " + QByteArray("prometheus:U*U").toBase64(), V::granted,
            prometheus);
        row("a blank more", basic("prometheus:U*U "), V::wrong_password, prometheus);
        row("the right one, then a NUL and more", basic(QByteArray("prometheus:U*U\0x", 16)),
            V::wrong_password, prometheus);
        row("empty password", basic("prometheus:"), V::wrong_password, prometheus);
        row("unknown user", basic("root:U*U"), V::unknown_user, "root");
        row("no header", QByteArray(), V::no_credentials);
        row("another scheme", "Bearer abc", V::no_credentials);
        row("not base64", "Basic !!!!", V::no_credentials);
        row("no colon", basic("prometheus"), V::no_credentials);
    }

    void passwords()
    {
        QFETCH(QByteArray, authorization);
        QFETCH(Basic_auth::Verdict, verdict);
        QFETCH(QByteArray, user);
        const Basic_auth auth({{"prometheus", u_star_u_2y}, {"grafana", u_star_u_star}});
        QByteArray given;
        QCOMPARE(auth.judge(authorization, &given), verdict);
        QCOMPARE(given, user);
        // Without users, nobody is asked.
        QCOMPARE(Basic_auth().judge(authorization, &given), Basic_auth::Verdict::granted);
    }

    // Whatever sources are refused when: a refusal is said exactly when its
    // source was not said for that kind within the quiet time, and the line
    // counts every refusal left unsaid since.
    void refusals_are_said_once_a_minute_per_source()
    {
        QVERIFY(holds("each source and kind said at most once a minute, none lost", [] {
            constexpr qint64 quiet_ms = 60000;
            Refusal_log log(quiet_ms);
            using Refusal = std::tuple<int, bool, int>; // source, a TLS refusal, ms after the last
            const auto refusals = *rc::gen::container<std::vector<Refusal>>(rc::gen::tuple(
                rc::gen::inRange(0, 4), rc::gen::arbitrary<bool>(), rc::gen::inRange(0, 40000)));
            std::map<QString, std::pair<qint64, int>> said; // when, unsaid since
            qint64 now = 0;
            for (const Refusal &refusal : refusals) {
                now += std::get<2>(refusal);
                const QString source = QStringLiteral("192.0.2.%1").arg(std::get<0>(refusal));
                const QString kind =
                    std::get<1>(refusal) ? QStringLiteral("tls") : QStringLiteral("password");
                const QString line = log.note(source, kind, QStringLiteral("why"), now);
                const auto last = said.find(source + kind);
                const bool due = last == said.end() || now - last->second.first >= quiet_ms;
                RC_ASSERT(line.isEmpty() == !due);
                if (!due) {
                    ++last->second.second;
                    continue;
                }
                const int unsaid = last == said.end() ? 0 : last->second.second;
                QString expected = QStringLiteral("velmar-exporter: refused %1: why").arg(source);
                if (unsaid > 0)
                    expected +=
                        QStringLiteral(" (and %1 more refused since it was last said)").arg(unsaid);
                RC_ASSERT(line == expected);
                said[source + kind] = {now, 0};
            }
        }));
    }

    void a_forgotten_source_is_said_again()
    {
        Refusal_log log(60000, 2);
        const QString password = QStringLiteral("password");
        QVERIFY(!log.note(QStringLiteral("a"), password, QStringLiteral("x"), 0).isEmpty());
        QVERIFY(!log.note(QStringLiteral("b"), password, QStringLiteral("x"), 10).isEmpty());
        // A third source makes the table forget the one said longest ago.
        QVERIFY(!log.note(QStringLiteral("c"), password, QStringLiteral("x"), 20).isEmpty());
        QVERIFY(log.note(QStringLiteral("b"), password, QStringLiteral("x"), 30).isEmpty());
        QVERIFY(!log.note(QStringLiteral("a"), password, QStringLiteral("x"), 40).isEmpty());
    }

    void command_lines_data()
    {
        QTest::addColumn<QStringList>("arguments"); // after --port /dev/ttyS0; WEB is a file here
        QTest::addColumn<QByteArray>("web");
        QTest::addColumn<int>("exit_code"); // 0: it runs
        QTest::addColumn<QString>("said");  // the error, or the one warning, from its start
        const QByteArray tls =
            "tls_server_config:\n  cert_file: server.crt\n  key_file: server.key\n";
        const QString open_wide = QStringLiteral("warning: 0.0.0.0:9367 lets any machine that "
                                                 "reaches it read the metrics, unencrypted and "
                                                 "without a password");
        QTest::newRow("this machine only") << QStringList() << QByteArray() << 0 << QString();
        QTest::newRow("every interface, in the open")
            << QStringList{"--listen", "0.0.0.0:9367"} << QByteArray() << 0 << open_wide;
        QTest::newRow("every interface, with TLS")
            << QStringList{"--listen", "0.0.0.0:9367", "--web.config.file", "WEB"} << tls << 0
            << QString();
        QTest::newRow("a web configuration not there")
            << QStringList{"--web.config.file", "/nonexistent/web.yml"} << QByteArray()
            << int(exit_input_unreadable)
            << QStringLiteral("velmar-exporter: cannot read /nonexistent/web.yml");
        QTest::newRow("a certificate not there")
            << QStringList{"--web.config.file", "WEB"}
            << QByteArray("tls_server_config:\n  cert_file: gone.crt\n  key_file: server.key\n")
            << int(exit_input_unreadable) << QStringLiteral("velmar-exporter: cannot read ");
        QTest::newRow("a password in the clear")
            << QStringList{"--web.config.file", "WEB"} << QByteArray("basic_auth_users:\n  a: b\n")
            << int(exit_bad_arguments) << QStringLiteral("velmar-exporter: ");
    }

    void command_lines()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, web);
        QFETCH(int, exit_code);
        QFETCH(QString, said);
        arguments.replaceInStrings(QStringLiteral("WEB"), write(QStringLiteral("web.yml"), web));
        const Exporter_options options = Exporter_options::parse(
            QStringList{"velmar-exporter", "--port", "/dev/ttyS0"} + arguments);
        if (exit_code != 0) {
            QCOMPARE(options.outcome, Exporter_options::Outcome::error);
            QCOMPARE(options.exit_code, exit_code);
            QVERIFY2(options.text.startsWith(said), qPrintable(options.text));
            return;
        }
        QCOMPARE(options.outcome, Exporter_options::Outcome::run);
        QCOMPARE(options.warnings.size(), said.isEmpty() ? 0 : 1);
        if (!said.isEmpty())
            QVERIFY2(options.warnings[0].startsWith(said), qPrintable(options.warnings[0]));
    }

    void tls_that_cannot_be_set_up_is_said_at_start()
    {
        Web_config web;
        web.tls.emplace();
        web.tls->cert_file = dir.filePath(QStringLiteral("server.crt"));
        web.tls->key_file = dir.filePath(QStringLiteral("server.key"));
        Metrics_snapshot snapshot;
        Metrics_server server(snapshot, QByteArray(), web);
        Listen_address address;
        address.port = unused_loopback_port();
        QVERIFY(!server.start(address));
        QVERIFY(server.tls_failed());
        QVERIFY2(server.error().startsWith(QStringLiteral("cannot use the certificate ")),
                 qPrintable(server.error()));
    }

    void below_the_threshold_data()
    {
        QTest::addColumn<QString>("commands"); // to the simulated unit, SFP 1 channel 1 Rx
        QTest::addColumn<QString>("judged");   // window colour, report episodes, scrape
        const auto row = [](const char *name, const char *commands, const char *judged) {
            QTest::newRow(name) << QString(commands) << QString(judged);
        };
        row("a tenth below", "sfp1.power1 -20.1; threshold -20", "red 1 1");
        row("at the threshold exactly", "sfp1.power1 -20.0; threshold -20", "black 0 0");
        row("a tenth above", "sfp1.power1 -19.9; threshold -20", "black 0 0");
        row("at -35 exactly", "sfp1.power1 -35.0; threshold -35", "black 0 0");
        // The unit cannot be set below -35 or above 0: such a threshold reads
        // as the nearest it can have, as the window's box shows it.
        row("a threshold below the range", "sfp1.power1 -35.1; threshold -128", "red 1 1");
        row("a threshold above the range", "sfp1.power1 -0.1; threshold 10", "red 1 1");
        row("at 0 with a threshold above the range", "sfp1.power1 0.0; threshold 10", "black 0 0");
        // The one difference: the window has no "not judged", and judges a
        // unit that reports no threshold against its box's 0 dBm.
        row("below 2.0: no threshold to judge by", "version 1.1; sfp1.power1 -30.5",
            "red not-judged absent");
    }

    void below_the_threshold()
    {
        QFETCH(QString, commands);
        QFETCH(QString, judged);
        const auto w = make_window_without_port();
        QSignalSpy decoded(&w->session, &Session::status_received);
        w->read(unit_frame(commands));
        QCOMPARE(decoded.count(), 1);
        const auto status = decoded.first().first().value<Unit_status>();
        const QString style = w->label(QStringLiteral("label_sfp1_rx_pwr_1"))->styleSheet();
        const QJsonValue below =
            report_of(status)["channels"].toArray()[0].toObject()["below_threshold"];
        QStringList told{style == QLatin1String("color: red") ? "red" : "black",
                         below.isNull() ? QStringLiteral("not-judged")
                                        : QString::number(below.toObject()["count"].toInt()),
                         scraped_below(status)};
        QCOMPARE(told.join(' '), judged);
    }

    // The same frames on two lines: the exporter on one, a session writing a
    // record on the other. A second of frames that decode nothing is no data
    // in both: velmar_up 0, and a gap in the report of the record.
    void damaged_frames_are_no_values()
    {
        Pty_device exported_line, recorded_line;
        QVERIFY(exported_line.open() && recorded_line.open());
        Unit_watch watch(exported_line.slave_path(), QString(), 115200, quick_timing);
        QStringList up_seen;
        connect(&watch, &Unit_watch::reading_changed, this, [&up_seen](const Unit_reading &read) {
            const QString up = read.up() ? QStringLiteral("up") : QStringLiteral("down");
            if (up_seen.isEmpty() || up_seen.last() != up)
                up_seen << up;
        });
        watch.open_if_closed();
        Session session(quick_timing);
        QBuffer record;
        record.open(QIODevice::WriteOnly);
        const Json_record_format format;
        Recorder recorder(session, format, record, Recorder::Policy::changes);
        QVERIFY(session.open_port({recorded_line.slave_path()}));

        const QByteArray good = Status_payload().frame();
        const auto play = [&](const QByteArray &frame, int ms) {
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < ms) {
                QVERIFY(exported_line.write_all(frame) && recorded_line.write_all(frame));
                QTest::qWait(quick_timing.watchdog_ms / 5);
            }
        };
        play(good, 3 * quick_timing.watchdog_ms);
        play(with_bad_crc(good), 5 * quick_timing.watchdog_ms);
        play(good, 3 * quick_timing.watchdog_ms);

        QCOMPARE(up_seen.join(' '), QStringLiteral("down up down up"));
        const QString scrape = QString::fromUtf8(Metrics_text::render({watch.reading()}));
        QVERIFY2(scrape.contains(QStringLiteral("velmar_silences_total{port=\"%1\"} 1")
                                     .arg(exported_line.slave_path())),
                 qPrintable(scrape));

        auto read_back = std::make_unique<QBuffer>();
        read_back->setData(record.data());
        read_back->open(QIODevice::ReadOnly);
        Record_problems problems;
        Record_timeline timeline(problems);
        timeline.add(QStringLiteral("memory"), std::move(read_back));
        const Report report = Report_maker::make(timeline, problems, {}, {});
        const QJsonObject events =
            QJsonDocument::fromJson(Json_report::write(report)).object()["events"].toObject();
        QCOMPARE(events["silences"].toObject()["count"].toInt(), 1);
        QCOMPARE(events["silences_with_damaged_frames"].toInt(), 1);
        QVERIFY(events["silences"].toObject()["total_s"].toDouble() >=
                4 * quick_timing.watchdog_ms / 1000.0);
    }

    void counters_never_go_back_over_any_story()
    {
        QVERIFY(holds("every _total counter never decreases, whatever happens to the port",
                      &counters_never_go_back, property_seed, 25));
    }

private:
    QString write(const QString &name, const QByteArray &text)
    {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }

    QTemporaryDir dir;
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
                       R"(velmar_rx_power_threshold_dbm{port="/dev/u"} -28)"}
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
                       R"(velmar_dante_gain_db{)", R"(velmar_rx_power_threshold_dbm{)"};

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

QTEST_MAIN(Tst_metrics_text)
#include "tst_metrics_text.moc"
