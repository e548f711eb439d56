// velmar-exporter on units behind Debian's ser2net, named in its
// configuration file as a site names them: metrics labelled with the URL as
// given, and a terminal server that goes away and comes back.
#include "exporter_rig.h"
#include "support/ser2net_server.h"

#include <QtCore/QFile>
#include <QtTest/QtTest>

namespace {

constexpr int wait_ms = 10000;

// The value of one series in a scrape, NaN when it has none.
double value(const QByteArray &scraped, const QString &series)
{
    for (const QByteArray &line : scraped.split('\n')) {
        if (line.startsWith(series.toUtf8() + ' '))
            return line.mid(series.toUtf8().size() + 1).toDouble();
    }
    return std::nan("");
}

} // namespace

class Tst_exporter_terminal_server : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void units_behind_a_terminal_server_are_watched()
    {
        Exporter_rig rig;
        Unit_simulator *near = rig.add_unit();
        Unit_simulator *far = rig.add_unit();
        QVERIFY(near && far);
        Ser2net_server telnet(Ser2net_server::Mode::rfc2217, near->slave_path());
        Ser2net_server raw(Ser2net_server::Mode::raw, far->slave_path());
        QVERIFY(telnet.start() && raw.start());
        const QString config = rig.folder() + QStringLiteral("/exporter.conf");
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            QStringLiteral("unit rack-3 = %1\nport = %2\n").arg(telnet.url(), raw.url()).toUtf8());
        file.close();
        QVERIFY(rig.start_exporter_with({QStringLiteral("--config"), config}));
        const QString rack = QStringLiteral("{port=\"%1\",unit=\"rack-3\"}").arg(telnet.url());
        const QString other = QStringLiteral("{port=\"%1\"}").arg(raw.url());
        const auto shows = [&rig](const QStringList &series, double expected) {
            return QTest::qWaitFor(
                [&] {
                    const QByteArray scraped = rig.scrape();
                    return std::all_of(series.begin(), series.end(), [&](const QString &one) {
                        return value(scraped, one) == expected;
                    });
                },
                wait_ms);
        };
        QVERIFY(shows({"velmar_up" + rack, "velmar_port_open" + rack, "velmar_up" + other}, 1));
        // A terminal server's line is there to be watched, not a pattern that
        // found nothing: no alert for it.
        QVERIFY(shows({QStringLiteral("velmar_pattern_matches{pattern=\"%1\"}").arg(telnet.url())},
                      1));

        telnet.kill();
        QVERIFY(shows({"velmar_up" + rack, "velmar_port_open" + rack}, 0));
        QVERIFY(shows({QStringLiteral("velmar_pattern_matches{pattern=\"%1\"}").arg(telnet.url())},
                      1));
        QVERIFY(shows({"velmar_port_losses_total" + rack}, 1));
        QVERIFY(shows({"velmar_up" + other}, 1));
        QVERIFY(telnet.start());
        QVERIFY(shows({"velmar_up" + rack, "velmar_port_open" + rack}, 1));
    }
};

QTEST_GUILESS_MAIN(Tst_exporter_terminal_server)
#include "tst_exporter_terminal_server.moc"
