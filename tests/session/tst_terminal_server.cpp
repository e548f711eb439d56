// A unit reached through a terminal server: the URL that names it, the telnet
// it speaks, the COM-PORT-OPTION negotiation against a server the test plays,
// and frames, rates and silences across Debian's ser2net.

#include "protocol/control_payload.h"
#include "session/port_device.h"
#include "session/port_url.h"
#include "session/reconnect_backoff.h"
#include "session/serial_channel.h"
#include "session/session.h"
#include "session/tcp_line_port.h"
#include "session/telnet.h"
#include "session/telnet_codec.h"
#include "session/telnet_options.h"
#include "simulator/unit_simulator.h"
#include "support/property.h"
#include "support/quick_timing.h"
#include "support/ser2net_server.h"
#include "support/steady_unit.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QVector>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A terminal server the test plays on a loopback port, for what a real one
// does not do on demand: refuse the COM-PORT-OPTION, answer another rate,
// or never answer. It greets each client with bytes of its own, then
// answers each request it finds in what the client sent, once, as the
// script says; it understands nothing else.
class Fake_terminal_server : public QObject
{
    Q_OBJECT

public:
    struct Answer
    {
        QByteArray request; // once the client has sent these bytes...
        QByteArray reply;   // ...these go back
    };
    using Script = QList<Answer>;

    Fake_terminal_server(const QByteArray &greeting, const Script &script)
        : greeting(greeting), script(script)
    {
        clock.start();
        connect(&server, &QTcpServer::newConnection, this, &Fake_terminal_server::on_connection);
    }

    ~Fake_terminal_server() override
    {
        for (const int descriptor : {filler_socket, backlog_socket}) {
            if (descriptor >= 0)
                ::close(descriptor);
        }
    }

    // Listening on a port of its own; with a full backlog, a server that
    // takes no connection: the client's attempt hangs.
    bool listen(bool full_backlog = false)
    {
        if (!full_backlog) {
            const bool listening = server.listen(QHostAddress::LocalHost);
            listen_port = server.serverPort();
            return listening;
        }
        // Backlog 0 holds one connection that nobody accepts; the next SYN is
        // dropped, and its sender waits.
        backlog_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(backlog_socket, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
            ::listen(backlog_socket, 0) != 0 ||
            ::getsockname(backlog_socket, reinterpret_cast<sockaddr *>(&address), &size) != 0)
            return false;
        listen_port = ntohs(address.sin_port);
        filler_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        ::fcntl(filler_socket, F_SETFL, O_NONBLOCK);
        ::connect(filler_socket, reinterpret_cast<sockaddr *>(&address), size);
        return true;
    }

    QString url() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(listen_port); }

    // Closes the client's connection, as a server that goes away cleanly,
    // and every connection at once from then on; or takes them again.
    void drop_clients(bool drop = true)
    {
        dropping = drop;
        if (drop && client != nullptr)
            client->close();
    }

    QByteArray received;       // what the client sent on the last connection, as it came
    QList<qint64> arrivals_ms; // when each connection came, since the server was made

private:
    void on_connection()
    {
        while (QTcpSocket *next = server.nextPendingConnection()) {
            arrivals_ms.append(clock.elapsed());
            if (client != nullptr)
                client->deleteLater();
            client = next;
            received.clear();
            answered.fill(false, script.size());
            connect(client, &QTcpSocket::readyRead, this, &Fake_terminal_server::on_bytes);
            if (dropping)
                client->close();
            else
                client->write(greeting);
        }
    }

    void on_bytes()
    {
        received += client->readAll();
        if (dropping) {
            client->close();
            return;
        }
        for (int i = 0; i < script.size(); ++i) {
            if (!answered[i] && received.contains(script[i].request)) {
                answered[i] = true;
                client->write(script[i].reply);
            }
        }
    }

    const QByteArray greeting;
    const Script script;
    QVector<bool> answered;
    QTcpServer server;
    QTcpSocket *client = nullptr;
    QElapsedTimer clock;
    bool dropping = false;
    int backlog_socket = -1;
    int filler_socket = -1;
    quint16 listen_port = 0;
};

namespace {

using Commands = std::vector<Telnet_codec::Command>;

// The bytes cut into pieces at the given points, as reads may cut them.
std::vector<QByteArray> cut(const QByteArray &bytes, std::vector<int> points)
{
    std::sort(points.begin(), points.end());
    std::vector<QByteArray> pieces;
    int from = 0;
    for (const int point : points) {
        const int at = std::min<int>(bytes.size(), std::max(from, point));
        pieces.push_back(bytes.mid(from, at - from));
        from = at;
    }
    pieces.push_back(bytes.mid(from));
    return pieces;
}

QByteArray bytes_of(const std::vector<uint8_t> &values)
{
    return QByteArray(reinterpret_cast<const char *>(values.data()), int(values.size()));
}

Telnet_options client()
{
    return Telnet_options(
        {telnet::option::binary, telnet::option::suppress_go_ahead, telnet::option::com_port},
        {telnet::option::binary, telnet::option::suppress_go_ahead});
}

// A host as a person writes it in a URL, and as it is meant: a name of
// dotted labels, an IPv4 address, or an IPv6 address in brackets.
struct Host
{
    QString written;
    QString meant;
};

QString joined(const std::vector<int> &parts, const char *separator, int base)
{
    QStringList texts;
    for (const int part : parts)
        texts.append(QString::number(part, base));
    return texts.join(QLatin1String(separator));
}

rc::Gen<std::vector<int>> numbers(std::size_t count, int below)
{
    return rc::gen::container<std::vector<int>>(count, rc::gen::inRange(0, below));
}

rc::Gen<Host> host()
{
    const auto name = rc::gen::map(numbers(4, 1 << 30), [](const std::vector<int> &labels) {
        const QString text = QStringLiteral("ts") + joined(labels, ".n", 36);
        return Host{text, text};
    });
    const auto ipv4 = rc::gen::map(numbers(4, 256), [](const std::vector<int> &bytes) {
        const QString text = joined(bytes, ".", 10);
        return Host{text, text};
    });
    const auto ipv6 = rc::gen::map(numbers(8, 65536), [](const std::vector<int> &groups) {
        const QString text = joined(groups, ":", 16);
        return Host{QLatin1Char('[') + text + QLatin1Char(']'), text};
    });
    return rc::gen::oneOf(name, ipv4, ipv6);
}

using Script = Fake_terminal_server::Script;

constexpr qint32 rate = 57600;
constexpr int wait_ms = 5000;

Session_timing timing()
{
    Session_timing timing;
    timing.connect_timeout_ms = 1000;
    timing.answer_timeout_ms = 300;
    // The first attempt only, unless a test wants the retries.
    timing.reopen_ms = timing.reconnect_max_ms = 3600 * 1000;
    return timing;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// What the client offers first: binary both ways, and the COM-PORT-OPTION.
const QByteArray offers = hex("fffb00 fffd00 fffb2c");
// Every COM-PORT-OPTION request of an open: the rate, 8N1, no flow
// control, and the purge of both buffers, last.
const QByteArray settings = hex("fffa2c010000e100fff0 fffa2c0208fff0 fffa2c0301fff0 "
                                "fffa2c0401fff0 fffa2c0501fff0 fffa2c0c03fff0");

// A server that takes everything, as ser2net on a pseudo-terminal does: it
// never answers the flow control.
Script agreeing(const QByteArray &rate_answer = hex("fffa2c650000e100fff0"))
{
    return {{hex("fffb2c"), hex("fffd2c")},           {hex("fffa2c01"), rate_answer},
            {hex("fffa2c02"), hex("fffa2c6608fff0")}, {hex("fffa2c03"), hex("fffa2c6701fff0")},
            {hex("fffa2c04"), hex("fffa2c6801fff0")}, {hex("fffa2c0c"), hex("fffa2c7003fff0")}};
}

Script with(Script script, const QByteArray &request, const QByteArray &reply)
{
    script.prepend({request, reply}); // the first answer that fits wins
    return script;
}

enum class Where
{
    listening,
    full_backlog, // it takes no connection
    nobody,       // the port is closed
};

constexpr qint32 changed_rate = 9600;
constexpr int frames_checked = 20;

// A status with 0xFF wherever the unit can put one: powers of -0.1 dBm,
// wavelengths of 65535 nm, gain codes 255, a threshold of -1 dBm.
const QStringList full_of_ff{QStringLiteral("sfp1.power1 -0.1"), QStringLiteral("sfp1.power2 -0.1"),
                             QStringLiteral("sfp2.power1 -0.1"), QStringLiteral("sfp2.power2 -0.1"),
                             QStringLiteral("sfp1.wl1 65535"),   QStringLiteral("sfp1.wl2 65535"),
                             QStringLiteral("sfp2.wl1 65535"),   QStringLiteral("sfp2.wl2 65535"),
                             QStringLiteral("dante.gain1 255"),  QStringLiteral("dante.gain2 255"),
                             QStringLiteral("threshold -1")};

// Seconds until the keepalive timer of this process's connection to the
// port fires, from the kernel's table; -1 when no keepalive timer runs on it.
double keepalive_due_s(quint16 server_port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray remote =
        ":" + QByteArray::number(server_port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // sl local remote state queues timer:when ...; 01 established, timer 2 keepalive
        if (fields.size() < 6 || !fields[2].endsWith(remote) || fields[3] != "01")
            continue;
        const QList<QByteArray> timer = fields[5].split(':');
        if (timer.size() == 2 && timer[0] == "02")
            return timer[1].toLongLong(nullptr, 16) / double(::sysconf(_SC_CLK_TCK));
    }
    return -1;
}

} // namespace

Q_DECLARE_METATYPE(Where)
Q_DECLARE_METATYPE(Fake_terminal_server::Answer)
Q_DECLARE_METATYPE(Ser2net_server::Mode)

class Tst_terminal_server : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void data_and_commands_survive_any_cuts()
    {
        QVERIFY(holds("escaped data with commands among it decodes back, however cut", [] {
            // Runs of data, each followed by a negotiation or a subnegotiation.
            const auto runs = *rc::gen::container<std::vector<std::vector<uint8_t>>>(
                rc::gen::container<std::vector<uint8_t>>(rc::gen::weightedOneOf<uint8_t>(
                    {{1, rc::gen::just(telnet::iac)}, {3, rc::gen::arbitrary<uint8_t>()}})));
            QByteArray wire;
            QByteArray data;
            Commands sent;
            for (const std::vector<uint8_t> &run : runs) {
                data += bytes_of(run);
                wire += Telnet_codec::escaped(bytes_of(run));
                const uint8_t option = *rc::gen::arbitrary<uint8_t>();
                if (*rc::gen::arbitrary<bool>()) {
                    const uint8_t verb =
                        *rc::gen::element(telnet::will, telnet::wont, telnet::do_, telnet::dont);
                    sent.push_back({verb, option, QByteArray()});
                    wire += Telnet_codec::negotiation(verb, option);
                } else {
                    const QByteArray parameters =
                        bytes_of(*rc::gen::container<std::vector<uint8_t>>(
                                     rc::gen::arbitrary<uint8_t>()))
                            .left(Telnet_codec::max_parameters);
                    sent.push_back({telnet::sb, option, parameters});
                    wire += Telnet_codec::subnegotiation(option, parameters);
                }
            }
            Telnet_codec codec;
            QByteArray got;
            Commands commands;
            for (QByteArray piece : cut(wire, *rc::gen::container<std::vector<int>>(
                                                  rc::gen::inRange(0, int(wire.size()) + 1)))) {
                codec.decode(piece, &commands);
                got += piece;
            }
            RC_ASSERT(got == data);
            RC_ASSERT(commands.size() == sent.size());
            for (std::size_t i = 0; i < sent.size(); ++i) {
                RC_ASSERT(commands[i].verb == sent[i].verb);
                RC_ASSERT(commands[i].option == sent[i].option);
                RC_ASSERT(commands[i].parameters == sent[i].parameters);
            }
        }));
    }

    void two_sides_agree_and_fall_quiet()
    {
        QVERIFY(holds("any two sides end their negotiation agreed, with nothing pending", [] {
            const std::vector<uint8_t> known{telnet::option::binary,
                                             telnet::option::echo,
                                             telnet::option::suppress_go_ahead,
                                             telnet::option::com_port,
                                             24,
                                             31};
            const auto some = rc::gen::container<std::vector<uint8_t>>(rc::gen::elementOf(known));
            Telnet_options near = client();
            Telnet_options far(*some, *some);
            // Both sides ask at once; the words cross on the way.
            std::deque<QByteArray> to_far;
            std::deque<QByteArray> to_near;
            const auto post = [](std::deque<QByteArray> &queue, const QByteArray &words) {
                for (int at = 0; at < words.size(); at += 3)
                    queue.push_back(words.mid(at, 3));
            };
            for (const uint8_t option : *some)
                post(to_far,
                     *rc::gen::arbitrary<bool>() ? near.offer(option) : near.request(option));
            for (const uint8_t option : *some)
                post(to_near,
                     *rc::gen::arbitrary<bool>() ? far.offer(option) : far.request(option));
            for (int step = 0; step < 1000 && !(to_far.empty() && to_near.empty()); ++step) {
                const bool far_next =
                    to_near.empty() || (!to_far.empty() && *rc::gen::arbitrary<bool>());
                std::deque<QByteArray> &from = far_next ? to_far : to_near;
                const QByteArray words = from.front();
                from.pop_front();
                Telnet_options &hearer = far_next ? far : near;
                post(far_next ? to_near : to_far,
                     hearer.answer(uint8_t(words[1]), uint8_t(words[2])));
            }
            RC_ASSERT(to_far.empty() && to_near.empty());
            RC_ASSERT(!near.waiting() && !far.waiting());
            for (const uint8_t option : known) {
                RC_ASSERT(near.performs(option) == far.other_performs(option));
                RC_ASSERT(near.other_performs(option) == far.performs(option));
            }
        }));
    }

    void backoff_doubles_within_its_bounds()
    {
        QVERIFY(holds("each wait is within the doubled bound, never past the longest", [] {
            const int first = *rc::gen::inRange(1, 5000);
            const int longest = first * *rc::gen::inRange(1, 64);
            Reconnect_backoff backoff(first, longest, *rc::gen::arbitrary<uint32_t>());
            const int failures = *rc::gen::inRange(1, 40);
            qint64 bound = first;
            for (int i = 0; i < failures; ++i) {
                const int wait = backoff.next_ms();
                RC_ASSERT(wait <= bound);
                RC_ASSERT(wait >= bound - bound / 4);
                bound = std::min<qint64>(bound * 2, longest);
            }
            backoff.reset();
            RC_ASSERT(backoff.next_ms() <= first);
        }));
    }

    void every_host_and_port_reads_back()
    {
        QVERIFY(holds("a URL reads back as it was written", [] {
            const Host written = *host();
            const int port = *rc::gen::inRange(1, 65536);
            const bool rfc2217 = *rc::gen::arbitrary<bool>();
            const QString text = QStringLiteral("%1://%2:%3")
                                     .arg(rfc2217 ? "rfc2217" : "socket")
                                     .arg(written.written)
                                     .arg(port);
            Port_url url;
            QString error;
            RC_ASSERT(Port_url::is_url(text));
            RC_ASSERT(Port_url::parse(text, &url, &error));
            RC_ASSERT(url.host == written.meant);
            RC_ASSERT(int(url.port) == port);
            RC_ASSERT(url.kind == (rfc2217 ? Port_url::Kind::rfc2217 : Port_url::Kind::socket));
            // The name a person gave stays the name everywhere.
            RC_ASSERT(url.text == text);
            RC_ASSERT(Port_device::path(text) == text);
        }));
    }

    void any_text_after_a_scheme_is_a_url_or_an_error_naming_it()
    {
        QVERIFY(holds("a bad URL is an error that names it, never a device", [] {
            const std::string rest = *rc::gen::string<std::string>();
            const QString text =
                (*rc::gen::element(QStringLiteral("rfc2217://"), QStringLiteral("socket://"),
                                   QStringLiteral("tcp://"))) +
                QString::fromStdString(rest);
            Port_url url;
            QString error;
            const bool parsed = Port_url::parse(text, &url, &error);
            RC_ASSERT(Port_url::is_url(text));
            RC_ASSERT(parsed == Port_url::error_in(text).isEmpty());
            if (!parsed)
                RC_ASSERT(error.startsWith(text));
        }));
    }

    void bad_urls_say_what_is_wrong_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("error"); // empty: a good URL, or no URL at all
        const auto row = [](const char *name, const char *text, const char *error) {
            QTest::newRow(name) << QString(text) << QString(error);
        };
        row("device path", "/dev/ttyUSB0", "");
        row("scheme in capitals", "RFC2217://ts1:4001", "");
        row("unknown scheme", "telnet://ts1:4001",
            "unknown scheme 'telnet': expected rfc2217:// or socket://");
        row("no host", "rfc2217://:4001", "no host");
        row("no port", "socket://ts1", "no port: expected socket://HOST:PORT");
        row("empty port", "socket://ts1:", "no port");
        row("port 0", "rfc2217://ts1:0", "the port '0' is not a number from 1 to");
        row("port too big", "rfc2217://ts1:65536",
            "the port '65536' is not a number from 1 to 65535");
        row("port by name", "rfc2217://ts1:telnet", "the port 'telnet' is not");
        row("client options", "rfc2217://ts1:4001?ign_set_control",
            "unexpected '?ign_set_control' after the port");
        row("IPv6 without brackets", "rfc2217://fe80::1:4001", "an IPv6 address goes in brackets");
        row("IPv6 unclosed", "rfc2217://[::1:4001", "'[' without ']'");
        row("not IPv6 in brackets", "rfc2217://[ts1]:4001", "'ts1' is not an IPv6");
        row("IPv4 out of range", "socket://300.1.2.3:4001", "'300.1.2.3' is not an IPv4 address");
        row("IPv4 shorthand", "socket://10.1:4001", "'10.1' is not an IPv4 address");
        row("user in host", "socket://root@ts1:4001", "'root@ts1' is not a host name");
        row("text after brackets", "socket://[::1]x:4001", "unexpected 'x:4001' after the host");
    }

    void bad_urls_say_what_is_wrong()
    {
        QFETCH(QString, text);
        QFETCH(QString, error);
        const QString said = Port_url::error_in(text);
        if (error.isEmpty()) {
            QCOMPARE(said, QString());
            return;
        }
        QVERIFY2(said.startsWith(text + QStringLiteral(": ")), qPrintable(said));
        QVERIFY2(said.contains(error), qPrintable(said));
    }

    void server_answers_decide_the_open_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<Script>("script");
        QTest::addColumn<Where>("where");
        QTest::addColumn<QString>("outcome");    // empty: the line opens
        QTest::addColumn<QByteArray>("replies"); // to the greeting, each word once
        const auto opens = [](const char *name, const QByteArray &greeting, const Script &script,
                              const QByteArray &replies) {
            QTest::newRow(name) << greeting << script << Where::listening << QString() << replies;
        };
        const auto fails = [](const char *name, const Script &script, const char *outcome,
                              Where where = Where::listening) {
            QTest::newRow(name) << QByteArray() << script << where << QString(outcome)
                                << QByteArray();
        };
        opens("ser2net's greeting", hex("fffb03 fffd03 fffb01 fffe01 fffd00 fffb00 fffd2c"),
              agreeing(), hex("fffd03 fffb03 fffe01"));
        opens("terminal type, window size, an unknown option", hex("fffd18 fffd1f fffb63 fffd2c"),
              agreeing(), hex("fffc18 fffc1f fffe63"));
        opens("only the rate answered", {}, agreeing().mid(0, 2), {});
        fails("the option refused", with(agreeing(), hex("fffb2c"), hex("fffe2c")),
              "the server refuses RFC 2217 (the telnet COM-PORT-OPTION)");
        fails("a raw port", {}, "no answer to the COM-PORT-OPTION within 0.3 s");
        fails("another rate", agreeing(hex("fffa2c6500002580fff0")),
              "the server refuses 57600 baud: it answers 9600 baud");
        fails("the rate unanswered", agreeing({}),
              "no answer to the rate of 57600 baud within 0.3 s");
        fails("flow control kept", with(agreeing(), hex("fffa2c05"), hex("fffa2c6902fff0")),
              "the server keeps flow control on");
        fails("7 data bits", with(agreeing(), hex("fffa2c02"), hex("fffa2c6607fff0")),
              "the server refuses 8 data bits: it answers 7");
        fails("no connection taken", {}, "no connection within 1 s", Where::full_backlog);
        fails("nobody listens", {}, "Connection refused", Where::nobody);
    }

    void server_answers_decide_the_open()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(Script, script);
        QFETCH(Where, where);
        QFETCH(QString, outcome);
        QFETCH(QByteArray, replies);
        Fake_terminal_server server(greeting, script);
        QString url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(unused_loopback_port());
        if (where != Where::nobody) {
            QVERIFY(server.listen(where == Where::full_backlog));
            url = server.url();
        }
        Serial_channel channel(timing());
        QSignalSpy opened(&channel, &Serial_channel::port_opened);
        QSignalSpy failed(&channel, &Serial_channel::open_failed);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(channel.open({url, rate}));
        QVERIFY(!channel.is_open()); // it connects on the event loop
        QTRY_VERIFY_WITH_TIMEOUT(opened.count() + failed.count() == 1, wait_ms);
        // Never more than the connection's and the answers' time-outs together.
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        if (!outcome.isEmpty()) {
            const QString error = failed.value(0).value(0).toString();
            QVERIFY2(error.contains(outcome), qPrintable(error));
            QCOMPARE(channel.error_string(), error);
            QVERIFY(!channel.is_open());
            return;
        }
        QVERIFY(channel.is_open());
        QCOMPARE(server.received.toHex(' '), (offers + replies + settings).toHex(' '));
    }

    void iac_is_doubled_both_ways()
    {
        // A status whose powers read -0.1 dBm is FF FF; a threshold of -1
        // dBm is FF: data that telnet would take for commands.
        const QByteArray from_unit = hex("5052ffff00ff0dff0a00ffff");
        const QByteArray to_unit = hex("5250ff00ffffff0d");
        // Among the data, the server sends a NOP, a notice of the modem
        // lines whose value is FF, and a turn of the option it agreed to.
        const QByteArray line = hex("5052ffffffff00 fff1 ffff0d fffa2c6bfffffff0 ffff0a00ffffffff "
                                    "fffd2c");
        // What it held before the purge is not the unit's now.
        Fake_terminal_server server(
            hex("5052ffff"), with(agreeing(), hex("fffa2c0c"), hex("fffa2c7003fff0") + line));
        QVERIFY(server.listen());
        Serial_channel channel(timing());
        QByteArray received;
        connect(&channel, &Serial_channel::bytes_read, this,
                [&received](const QByteArray &bytes) { received += bytes; });
        QVERIFY(channel.open({server.url(), rate}));
        QTRY_COMPARE_WITH_TIMEOUT(received.toHex(' '), from_unit.toHex(' '), wait_ms);
        channel.send(to_unit);
        QTRY_VERIFY_WITH_TIMEOUT(server.received.endsWith(hex("5250ffff00ffffffffffff0d")),
                                 wait_ms);
    }

    void every_open_purges_and_retries_keep_their_bounds()
    {
        // The server closes a line that was open, then every connection at
        // once for a while: the client knocks again, later each time, but
        // never later than the longest wait, and never in a spin; and sets
        // the line up afresh once let in.
        Session_timing quick = timing();
        quick.reopen_ms = 50;
        quick.reconnect_max_ms = 200;
        Fake_terminal_server server({}, agreeing());
        QVERIFY(server.listen());
        Serial_channel channel(quick);
        QSignalSpy opened(&channel, &Serial_channel::port_opened);
        QSignalSpy lost(&channel, &Serial_channel::port_lost);
        QSignalSpy reopened(&channel, &Serial_channel::port_reopened);
        QVERIFY(channel.open({server.url(), rate}));
        QTRY_COMPARE_WITH_TIMEOUT(opened.count(), 1, wait_ms);
        server.drop_clients();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, wait_ms);
        QVERIFY(lost.at(0).at(0).toString().contains("closed the connection"));
        QTest::qWait(4000);
        const QList<qint64> at = server.arrivals_ms;
        qint64 longest_gap = 0;
        for (int i = 2; i < at.size(); ++i)
            longest_gap = std::max(longest_gap, at[i] - at[i - 1]);
        // A gap of three longest waits is a wait that grew past the longest:
        // no busy machine's timer is that late.
        QVERIFY2(at.size() >= 8 && at.size() <= 100, qPrintable(QString::number(at.size())));
        QVERIFY2(longest_gap < 3 * quick.reconnect_max_ms,
                 qPrintable(QString::number(longest_gap)));
        server.drop_clients(false);
        QTRY_COMPARE_WITH_TIMEOUT(reopened.count(), 1, wait_ms);
        QCOMPARE(server.received.toHex(' '), (offers + settings).toHex(' ')); // purged again
    }

    void frames_and_rate_cross_the_server_data()
    {
        QTest::addColumn<Ser2net_server::Mode>("mode");
        QTest::addColumn<qint32>("rate_at_open"); // as the unit's line has it
        QTest::addColumn<qint32>("rate_changed");
        QTest::newRow("telnet(rfc2217)") << Ser2net_server::Mode::rfc2217 << rate << changed_rate;
        QTest::newRow("raw") << Ser2net_server::Mode::raw
                             << qint32(Ser2net_server::configured_baud_rate)
                             << qint32(Ser2net_server::configured_baud_rate);
    }

    void frames_and_rate_cross_the_server()
    {
        QFETCH(Ser2net_server::Mode, mode);
        QFETCH(qint32, rate_at_open);
        QFETCH(qint32, rate_changed);
        const auto unit = steady_unit(full_of_ff);
        QVERIFY(unit);
        QByteArray frame;
        connect(unit.get(), &Unit_simulator::status_frame_sent, this,
                [&frame](const QByteArray &sent) { frame = sent; });
        QTRY_VERIFY(!frame.isEmpty());
        QVERIFY2(frame.count('\xFF') >= 12, frame.toHex().constData());
        Ser2net_server server(mode, unit->slave_path());
        QVERIFY(server.start());

        Serial_channel channel(quick_timing);
        QByteArray received;
        connect(&channel, &Serial_channel::bytes_read, this,
                [&received](const QByteArray &bytes) { received += bytes; });
        QSignalSpy opened(&channel, &Serial_channel::port_opened);
        QVERIFY(channel.open({server.url(), rate}));
        QTRY_COMPARE_WITH_TIMEOUT(opened.count(), 1, wait_ms);
        // A raw server sets the line as it takes the connection, maybe just after.
        QString line;
        QTRY_COMPARE_WITH_TIMEOUT((unit->execute(QStringLiteral("line"), &line), line),
                                  QStringLiteral("%1 8N1, no flow control").arg(rate_at_open),
                                  wait_ms);

        // Byte for byte: after the first whole frame, the unit's frames back to back.
        QTRY_VERIFY_WITH_TIMEOUT(received.size() > (frames_checked + 1) * frame.size(), wait_ms);
        const int first = received.indexOf(frame);
        QVERIFY(first >= 0 && first < frame.size());
        const QByteArray whole = received.mid(first, frames_checked * frame.size());
        QCOMPARE(whole.toHex(), frame.repeated(frames_checked).toHex());

        Control_payload values;
        values.gain_codes = {{255, 255}};
        values.threshold_dbm = -1;
        QSignalSpy controls(unit.get(), &Unit_simulator::control_frame_received);
        channel.send(values.frame());
        QTRY_COMPARE_WITH_TIMEOUT(controls.count(), 1, wait_ms);
        QCOMPARE(controls.at(0), (QVariantList{255, 255, -1, true}));

        channel.set_baud_rate(changed_rate);
        QTRY_COMPARE_WITH_TIMEOUT(unit->line_settings().baud_rate, rate_changed, wait_ms);
        QVERIFY(channel.is_open());
    }

    void a_stopped_server_falls_silent_and_comes_back()
    {
        const auto unit = steady_unit();
        QVERIFY(unit);
        Ser2net_server server(Ser2net_server::Mode::rfc2217, unit->slave_path());
        QVERIFY(server.start());
        Session session(quick_timing);
        session.set_listen_only(true);
        QSignalSpy lost(&session, &Session::port_lost);
        std::vector<Link_watchdog::State> states;
        connect(&session, &Session::link_changed, this,
                [&states](Link_watchdog::Verdict verdict) { states.push_back(verdict.state); });
        QVERIFY(session.open_port({server.url(), rate}));
        QTRY_VERIFY_WITH_TIMEOUT(
            !states.empty() && states.back() == Link_watchdog::State::connected, wait_ms);
        // A server gone quiet without a word is probed within seconds, not hours.
        const double probe_s = keepalive_due_s(server.port());
        QVERIFY2(probe_s >= 0 && probe_s <= Tcp_line_port::keepalive_idle_s,
                 qPrintable(QString::number(probe_s)));

        QElapsedTimer stopped;
        stopped.start();
        QVERIFY(server.pause());
        QTRY_VERIFY_WITH_TIMEOUT(states.back() == Link_watchdog::State::silent, wait_ms);
        // Within the watchdog's period and the one it began in, give or take
        // a busy machine: long before keepalive would end the connection.
        QVERIFY2(stopped.elapsed() <= 2 * quick_timing.watchdog_ms + 1000,
                 qPrintable(QString::number(stopped.elapsed())));
        QVERIFY(server.resume());
        QTRY_VERIFY_WITH_TIMEOUT(states.back() == Link_watchdog::State::connected, wait_ms);
        QCOMPARE(lost.count(), 0); // the connection itself was never broken
    }
};

QTEST_GUILESS_MAIN(Tst_terminal_server)
#include "tst_terminal_server.moc"
