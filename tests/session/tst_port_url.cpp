#include "session/port_device.h"
#include "session/port_url.h"
#include "support/property.h"

#include <QtTest/QtTest>

namespace {

// A host as a person writes it in a URL, and as it is meant.
struct Host
{
    std::string written;
    std::string meant;
};

rc::Gen<std::string> label()
{
    const std::string letters = "abcdefghijklmnopqrstuvwxyz0123456789";
    return rc::gen::map(rc::gen::container<std::vector<std::size_t>>(
                            rc::gen::inRange<std::size_t>(0, letters.size())),
                        [letters](const std::vector<std::size_t> &at) {
                            std::string text = "h"; // not all digits
                            for (const std::size_t i : at)
                                text += letters[i];
                            return text.substr(0, 40);
                        });
}

rc::Gen<Host> host()
{
    const auto name = rc::gen::map(rc::gen::container<std::vector<std::string>>(label()),
                                   [](const std::vector<std::string> &labels) {
                                       std::string text = "unit";
                                       for (const std::string &part : labels)
                                           text += "." + part;
                                       return Host{text.substr(0, 200), text.substr(0, 200)};
                                   });
    const auto ipv4 =
        rc::gen::map(rc::gen::container<std::vector<int>>(4, rc::gen::inRange(0, 256)),
                     [](const std::vector<int> &bytes) {
                         const std::string text =
                             std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." +
                             std::to_string(bytes[2]) + "." + std::to_string(bytes[3]);
                         return Host{text, text};
                     });
    const auto ipv6 = rc::gen::map(
        rc::gen::container<std::vector<int>>(8, rc::gen::inRange(0, 65536)),
        [](const std::vector<int> &groups) {
            std::string text;
            for (const int group : groups)
                text += (text.empty() ? "" : ":") + QString::number(group, 16).toStdString();
            return Host{"[" + text + "]", text};
        });
    return rc::gen::oneOf(name, ipv4, ipv6);
}

} // namespace

class Tst_port_url : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void every_host_and_port_reads_back()
    {
        QVERIFY(holds("a URL reads back as it was written", [] {
            const Host written = *host();
            const int port = *rc::gen::inRange(1, 65536);
            const bool rfc2217 = *rc::gen::arbitrary<bool>();
            const QString text = QStringLiteral("%1://%2:%3")
                                     .arg(rfc2217 ? "rfc2217" : "socket")
                                     .arg(QString::fromStdString(written.written))
                                     .arg(port);
            Port_url url;
            QString error;
            RC_ASSERT(Port_url::is_url(text));
            RC_ASSERT(Port_url::parse(text, &url, &error));
            RC_ASSERT(url.host.toStdString() == written.meant);
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
        QTest::newRow("device path") << "/dev/ttyUSB0"
                                     << "";
        QTest::newRow("bare device name") << "ttyUSB0"
                                          << "";
        QTest::newRow("scheme in capitals") << "RFC2217://ts1:4001"
                                            << "";
        QTest::newRow("unknown scheme")
            << "telnet://ts1:4001"
            << "unknown scheme 'telnet': expected rfc2217:// or socket://";
        QTest::newRow("no host") << "rfc2217://:4001"
                                 << "no host";
        QTest::newRow("no port") << "socket://ts1"
                                 << "no port: expected socket://HOST:PORT";
        QTest::newRow("empty port") << "socket://ts1:"
                                    << "no port";
        QTest::newRow("port 0") << "rfc2217://ts1:0"
                                << "the port '0' is not a number from 1 to";
        QTest::newRow("port too big") << "rfc2217://ts1:65536"
                                      << "the port '65536' is not a number from 1 to 65535";
        QTest::newRow("port by name") << "rfc2217://ts1:telnet"
                                      << "the port 'telnet' is not";
        QTest::newRow("client options") << "rfc2217://ts1:4001?ign_set_control"
                                        << "unexpected '?ign_set_control' after the port";
        QTest::newRow("a path") << "socket://ts1:4001/x"
                                << "unexpected '/x' after the port";
        QTest::newRow("IPv6 without brackets") << "rfc2217://fe80::1:4001"
                                               << "an IPv6 address goes in brackets";
        QTest::newRow("IPv6 unclosed") << "rfc2217://[::1:4001"
                                       << "'[' without ']'";
        QTest::newRow("not IPv6 in brackets") << "rfc2217://[ts1]:4001"
                                              << "'ts1' is not an IPv6";
        QTest::newRow("IPv4 out of range") << "socket://300.1.2.3:4001"
                                           << "'300.1.2.3' is not an IPv4 address";
        QTest::newRow("IPv4 shorthand") << "socket://10.1:4001"
                                        << "'10.1' is not an IPv4 address";
        QTest::newRow("user in host") << "socket://root@ts1:4001"
                                      << "'root@ts1' is not a host name";
        QTest::newRow("blank in host") << "socket://ts 1:4001"
                                       << "'ts 1' is not a host name";
        QTest::newRow("text after brackets") << "socket://[::1]x:4001"
                                             << "unexpected 'x:4001' after the host";
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
};

QTEST_GUILESS_MAIN(Tst_port_url)
#include "tst_port_url.moc"
