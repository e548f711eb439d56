// Who may read the metrics, without a network: the web configuration as
// Prometheus's exporters write it, passwords against bcrypt hashes, the
// log of refusals and what the command line makes of all of it.

#include "console/exit_code.h"
#include "exporter/basic_auth.h"
#include "exporter/exporter_options.h"
#include "exporter/metrics_server.h"
#include "exporter/metrics_snapshot.h"
#include "exporter/refusal_log.h"
#include "exporter/web_config.h"
#include "support/property.h"

#include <QtNetwork/QTcpServer>
#include <QtTest/QtTest>

namespace {

// Published bcrypt test vectors (crypt_blowfish's own): "U*U" and "U*U*".
const QByteArray u_star_u = "$2a$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW";
const QByteArray u_star_u_2y = "$2y$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW";
const QByteArray u_star_u_star = "$2b$05$CCCCCCCCCCCCCCCCCCCCC.VGOzA784oUp/Z0DY336zx7pLYAy0lwK";

QByteArray basic(const QByteArray &user_and_password)
{
    return "Basic " + user_and_password.toBase64();
}

} // namespace

Q_DECLARE_METATYPE(Basic_auth::Verdict)

class Tst_web_access : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        write(QStringLiteral("server.crt"), "not a certificate\n");
        write(QStringLiteral("server.key"), "not a key\n");
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
        QTcpServer free;
        QVERIFY(free.listen(QHostAddress::LocalHost));
        Listen_address address;
        address.port = free.serverPort();
        free.close();
        QVERIFY(!server.start(address));
        QVERIFY(server.tls_failed());
        QVERIFY2(server.error().startsWith(QStringLiteral("cannot use the certificate ")),
                 qPrintable(server.error()));
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

QTEST_GUILESS_MAIN(Tst_web_access)
#include "tst_web_access.moc"
