// velmar-exporter behind TLS and a password, as Prometheus's own exporters
// are: a throw-away authority and certificates made with openssl, the
// exporter asking for a client certificate and a password, and a real
// Prometheus server scraping it three ways. Only the scrape with both is
// let in; a wrong password is logged once, however often it is tried; a
// plain HTTP request gets nothing it can use. Two of its units are behind
// Debian's ser2net, named in the configuration as a site names them, and
// one of the servers goes away and comes back.

#include "exporter_rig.h"

#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <csignal>

namespace {

constexpr int ready_ms = 20000;
// Several scrapes a second apart, each refused.
constexpr int refused_for_ms = 4000;

// crypt_blowfish's published test vector: the hash of "U*U".
const QByteArray password_hash = "$2y$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW";

} // namespace

class Tst_exporter_tls : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(QStringLiteral(VELMAR_PROMETHEUS_PATH)),
                 "prometheus is not installed: scripts/install-deps.sh installs it");
        QVERIFY(make_certificates());
        QVERIFY(rig.add_unit() && rig.add_unit() && rig.add_unit());
        telnet = std::make_unique<Ser2net_server>(Ser2net_server::Mode::rfc2217,
                                                  rig.unit(1).slave_path());
        raw = std::make_unique<Ser2net_server>(Ser2net_server::Mode::raw, rig.unit(2).slave_path());
        QVERIFY(telnet->start() && raw->start());
        rig.write(QStringLiteral("web.yml"),
                  "tls_server_config:\n  cert_file: server.crt\n  key_file: server.key\n"
                  "  client_auth_type: RequireAndVerifyClientCert\n  client_ca_file: ca.crt\n"
                  "  min_version: TLS12\nbasic_auth_users:\n  prometheus: " +
                      password_hash + "\n");
        const QString config = rig.write(
            QStringLiteral("exporter.conf"),
            QStringLiteral("web_config = web.yml\nport = %1\nunit line-3 = %2\nport = %3\n")
                .arg(rig.link(0), telnet->url(), raw->url())
                .toUtf8());
        exporter_port = unused_loopback_port();
        exporter = std::make_unique<Child_process>(QStringLiteral(VELMAR_EXPORTER_PATH));
        exporter->start(
            {"--config", config, "--listen", QStringLiteral("127.0.0.1:%1").arg(exporter_port)});
        QTRY_VERIFY_WITH_TIMEOUT(!exporter->error_lines().filter("serving https://").isEmpty() ||
                                     exporter->state() == QProcess::NotRunning,
                                 ready_ms);
        QCOMPARE(exporter->state(), QProcess::Running);

        const QString scrape = QStringLiteral("  - job_name: %1\n    scheme: https\n"
                                              "    tls_config:\n      ca_file: ca.crt\n%2"
                                              "    basic_auth:\n      username: prometheus\n"
                                              "      password: '%3'\n    static_configs:\n"
                                              "      - targets: ['127.0.0.1:%4']\n");
        const QString client =
            QStringLiteral("      cert_file: client.crt\n      key_file: client.key\n");
        rig.start_prometheus(scrape.arg("good", client, "U*U").arg(exporter_port) +
                             scrape.arg("wrong_password", client, "U*V").arg(exporter_port) +
                             scrape.arg("no_certificate", QString(), "U*U").arg(exporter_port));
        QTRY_COMPARE_WITH_TIMEOUT(query(QStringLiteral("count(up)")), 3.0, ready_ms);
    }

    void only_a_certificate_and_the_password_are_let_in()
    {
        QTRY_COMPARE_WITH_TIMEOUT(query(QStringLiteral("velmar_up{job=\"good\",unit=\"line-3\"}")),
                                  1.0, ready_ms);
        QTRY_COMPARE_WITH_TIMEOUT(query(QStringLiteral("count(velmar_up{job=\"good\"} == 1)")), 3.0,
                                  ready_ms);
        // Without a certificate, refused in the handshake, before any request
        // was read: told why.
        for (const auto &[job, why] : {std::pair("wrong_password", "401"),
                                       std::pair("no_certificate", "certificate required")}) {
            QTRY_COMPARE_WITH_TIMEOUT(target(job)["health"].toString(), QStringLiteral("down"),
                                      ready_ms);
            QCOMPARE(query(QStringLiteral("up{job=\"%1\"}").arg(job)), 0.0);
            const QString error = target(job)["lastError"].toString();
            QVERIFY2(error.contains(QLatin1String(why)), qPrintable(error));
        }
    }

    void a_wrong_password_is_logged_once()
    {
        QTRY_VERIFY_WITH_TIMEOUT(target("wrong_password")["health"].toString() == "down", ready_ms);
        QTest::qWait(refused_for_ms);
        const QStringList said = exporter->error_lines();
        qInfo().noquote() << said.filter("refused").join('\n');
        QCOMPARE(said.filter("refused 127.0.0.1: wrong password for user 'prometheus'").size(), 1);
        QCOMPARE(said.filter(QRegularExpression(
                                 "refused 127.0.0.1: TLS handshake failed: .*certificate"))
                     .size(),
                 1);
    }

    void plain_http_gets_nothing_useful()
    {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, exporter_port);
        QVERIFY(socket.waitForConnected(ready_ms));
        socket.write("GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
        QByteArray reply;
        QTRY_VERIFY_WITH_TIMEOUT(
            (reply += socket.readAll(), socket.state() == QAbstractSocket::UnconnectedState),
            ready_ms);
        QVERIFY2(!reply.startsWith("HTTP/") && !reply.contains("velmar_"),
                 reply.toHex().constData());
    }

    // A terminal server's line is there to be watched, not a pattern that
    // found nothing: no alert for it, up or lost.
    void a_terminal_server_that_goes_away_is_waited_for()
    {
        const QString named =
            QStringLiteral("{job=\"good\",port=\"%1\",unit=\"line-3\"}").arg(telnet->url());
        const QString other = QStringLiteral("{job=\"good\",port=\"%1\"}").arg(raw->url());
        const QString matched =
            QStringLiteral("velmar_pattern_matches{job=\"good\",pattern=\"%1\"}")
                .arg(telnet->url());
        const auto shows = [this](const QStringList &series, double expected) {
            return QTest::qWaitFor(
                [&] {
                    return std::all_of(series.begin(), series.end(),
                                       [&](const QString &one) { return query(one) == expected; });
                },
                ready_ms);
        };
        QVERIFY(shows(
            {"velmar_up" + named, "velmar_port_open" + named, "velmar_up" + other, matched}, 1));
        telnet->kill();
        QVERIFY(shows({"velmar_up" + named, "velmar_port_open" + named}, 0));
        QVERIFY(shows({matched, "velmar_port_losses_total" + named, "velmar_up" + other}, 1));
        QVERIFY(telnet->start());
        QVERIFY(shows({"velmar_up" + named, "velmar_port_open" + named}, 1));
    }

    // Behind the front, civetweb's listening thread waits up to two seconds
    // between looks at its stop flag unless it is knocked on where it listens.
    void a_stopped_service_ends_at_once()
    {
        QElapsedTimer stopping;
        stopping.start();
        SIGNAL_CHILD(*exporter, SIGTERM);
        QVERIFY(exporter->waitForFinished(ready_ms));
        QVERIFY2(stopping.elapsed() < 1000, qPrintable(QString::number(stopping.elapsed())));
        QCOMPARE(exporter->exitCode(), 0);
    }

private:
    bool openssl(const QStringList &arguments)
    {
        QProcess process;
        process.setWorkingDirectory(rig.folder());
        process.start(QStringLiteral("openssl"), arguments);
        const bool done = process.waitForFinished(ready_ms) &&
                          process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
        if (!done)
            qWarning().noquote() << "openssl" << arguments.join(' ')
                                 << process.readAllStandardError();
        return done;
    }

    // An authority, the exporter's certificate for 127.0.0.1 and Prometheus's
    // client certificate, both signed by it.
    bool make_certificates()
    {
        const QStringList key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                              "-nodes"};
        rig.write(QStringLiteral("server.ext"), "subjectAltName=IP:127.0.0.1\n");
        rig.write(QStringLiteral("client.ext"), "extendedKeyUsage=clientAuth\n");
        if (!openssl(QStringList{"req", "-x509"} + key +
                     QStringList{"-keyout", "ca.key", "-out", "ca.crt", "-days", "1", "-subj",
                                 "/CN=velmar test authority"}))
            return false;
        for (const QString &who : {QStringLiteral("server"), QStringLiteral("client")}) {
            const QString name =
                who == QLatin1String("server") ? "/CN=127.0.0.1" : "/CN=prometheus";
            if (!openssl(
                    QStringList{"req"} + key +
                    QStringList{"-keyout", who + ".key", "-out", who + ".csr", "-subj", name}) ||
                !openssl({"x509", "-req", "-in", who + ".csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                          "-CAcreateserial", "-days", "1", "-extfile", who + ".ext", "-out",
                          who + ".crt"}))
                return false;
        }
        return true;
    }

    QJsonObject target(const QString &job)
    {
        const QString url =
            QStringLiteral("http://127.0.0.1:%1/api/v1/targets").arg(rig.prometheus_port());
        const QJsonArray targets =
            QJsonDocument::fromJson(rig.get(url))["data"].toObject()["activeTargets"].toArray();
        for (const QJsonValue &target : targets) {
            if (target["labels"]["job"].toString() == job)
                return target.toObject();
        }
        return {};
    }

    double query(const QString &expression) { return rig.query(expression); }

    Exporter_rig rig;
    std::unique_ptr<Ser2net_server> telnet;
    std::unique_ptr<Ser2net_server> raw;
    std::unique_ptr<Child_process> exporter;
    quint16 exporter_port = 0;
};

QTEST_GUILESS_MAIN(Tst_exporter_tls)
#include "tst_exporter_tls.moc"
