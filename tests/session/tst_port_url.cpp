#include "session/port_device.h"
#include "session/port_url.h"
#include "support/property.h"

#include <QtTest/QtTest>

namespace {

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
};

QTEST_GUILESS_MAIN(Tst_port_url)
#include "tst_port_url.moc"
