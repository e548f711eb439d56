#include "fake_terminal_server.h"
#include "session/serial_channel.h"
#include "support/ser2net_server.h"

#include <QtTest/QtTest>

namespace {

using Script = Fake_terminal_server::Script;
using Com_port = Script::Com_port;

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

// How a server answered the connection of a test.
enum class Where
{
    listening,
    full_backlog, // it takes no connection
    nobody,       // the port is closed
};

// Every COM-PORT-OPTION request of an open: the rate, 8N1, no flow control,
// and the purge of both buffers, last.
const QByteArrayList settings_asked{QByteArray::fromHex("010000e100"), QByteArray::fromHex("0208"),
                                    QByteArray::fromHex("0301"),       QByteArray::fromHex("0401"),
                                    QByteArray::fromHex("0501"),       QByteArray::fromHex("0c03")};

} // namespace

Q_DECLARE_METATYPE(Where)

class Tst_rfc2217_negotiation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void server_answers_decide_the_open_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<Where>("where");
        QTest::addColumn<QString>("outcome"); // empty: the line opens
        // Every negotiation of the client's: its offers, then one answer to
        // each word of the server's that asks for one.
        QTest::addColumn<QByteArrayList>("said");
        Script ser2net;
        // What ser2net says first, on a pseudo-terminal: it never answers
        // the flow control.
        ser2net.greeting = QByteArray::fromHex("fffb03fffd03fffb01fffe01fffd00fffb00fffd2c");
        QTest::newRow("ser2net on a pseudo-terminal")
            << ser2net << Where::listening << QString()
            << QByteArrayList{"fb00", "fd00", "fb2c", "fd03", "fb03", "fe01"};
        Script unknown_options = ser2net;
        unknown_options.greeting = QByteArray::fromHex("fffd18fffd1ffffb63fffd2c");
        QTest::newRow("terminal type, window size, an unknown option")
            << unknown_options << Where::listening << QString()
            << QByteArrayList{"fb00", "fd00", "fb2c", "fc18", "fc1f", "fe63"};
        Script rate_only;
        rate_only.answer_parity_stop_purge = false;
        rate_only.data_size_answer = -1;
        QTest::newRow("only the rate answered")
            << rate_only << Where::listening << QString() << QByteArrayList{"fb00", "fd00", "fb2c"};
        Script refusing;
        refusing.com_port = Com_port::refuse;
        QTest::newRow("the option refused")
            << refusing << Where::listening
            << "the server refuses RFC 2217 (the telnet COM-PORT-OPTION)" << QByteArrayList();
        Script raw;
        raw.com_port = Com_port::ignore;
        QTest::newRow("a raw port")
            << raw << Where::listening << "no answer to the COM-PORT-OPTION within 0.3 s"
            << QByteArrayList();
        Script other_rate;
        other_rate.rate_answer = 9600;
        QTest::newRow("another rate")
            << other_rate << Where::listening
            << "the server refuses 57600 baud: it answers 9600 baud" << QByteArrayList();
        Script no_rate;
        no_rate.rate_answer = -1;
        QTest::newRow("the rate unanswered")
            << no_rate << Where::listening << "no answer to the rate of 57600 baud within 0.3 s"
            << QByteArrayList();
        Script xon_xoff;
        xon_xoff.control_answer = 2;
        QTest::newRow("flow control kept")
            << xon_xoff << Where::listening << "the server keeps flow control on"
            << QByteArrayList();
        Script seven_bits;
        seven_bits.data_size_answer = 7;
        QTest::newRow("7 data bits")
            << seven_bits << Where::listening << "the server refuses 8 data bits: it answers 7"
            << QByteArrayList();
        Script closing;
        closing.close_at_once = true;
        QTest::newRow("closed at once") << closing << Where::listening
                                        << "the server closed the connection" << QByteArrayList();
        QTest::newRow("no connection taken")
            << Script() << Where::full_backlog << "no connection within 1 s" << QByteArrayList();
        QTest::newRow("nobody listens")
            << Script() << Where::nobody << "refused" << QByteArrayList();
    }

    void server_answers_decide_the_open()
    {
        QFETCH(Script, script);
        QFETCH(Where, where);
        QFETCH(QString, outcome);
        QFETCH(QByteArrayList, said);
        Fake_terminal_server server(script);
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
            QVERIFY2(failed.at(0).at(0).toString().contains(outcome),
                     qPrintable(failed.at(0).at(0).toString()));
            QCOMPARE(channel.error_string(), failed.at(0).at(0).toString());
            QVERIFY(!channel.is_open());
            return;
        }
        QVERIFY(channel.is_open());
        QCOMPARE(server.requests, settings_asked);
        QByteArrayList heard;
        for (const QByteArray &negotiation : server.negotiations)
            heard.append(negotiation.toHex());
        QCOMPARE(heard, said);
    }

    void iac_is_doubled_both_ways()
    {
        // A status whose powers read -0.1 dBm is FF FF; a threshold of -1
        // dBm is FF: data that telnet would take for commands.
        const QByteArray from_unit = QByteArray::fromHex("5052ffff00ff0dff0a00ffff");
        const QByteArray to_unit = QByteArray::fromHex("5250ff00ffffff0d");
        Script script;
        // The server sends commands among the data: a NOP, a notice of the
        // modem lines whose value is FF, a turn of the option it agreed to.
        script.data = QByteArray::fromHex("5052ffffffff00fff1ffff0dfffa2c6bfffffff0"
                                          "ffff0a00fffffffffffd2c");
        Fake_terminal_server server(script);
        QVERIFY(server.listen());
        Serial_channel channel(timing());
        QByteArray received;
        connect(&channel, &Serial_channel::bytes_read, this,
                [&received](const QByteArray &bytes) { received += bytes; });
        QSignalSpy opened(&channel, &Serial_channel::port_opened);
        QVERIFY(channel.open({server.url(), rate}));
        QTRY_COMPARE_WITH_TIMEOUT(received.toHex(' '), from_unit.toHex(' '), wait_ms);
        QCOMPARE(opened.count(), 1);
        channel.send(to_unit);
        QTRY_COMPARE_WITH_TIMEOUT(server.data.toHex(' '), to_unit.toHex(' '), wait_ms);
    }

    void every_open_purges_and_retries_keep_their_bounds()
    {
        // The server closes a line that was open, then every connection at
        // once for a while: the client knocks again, later each time, but
        // never later than the longest wait, and never in a spin.
        Session_timing quick = timing();
        quick.reopen_ms = 100;
        quick.reconnect_max_ms = 400;
        Fake_terminal_server server({});
        QVERIFY(server.listen());
        Serial_channel channel(quick);
        QSignalSpy opened(&channel, &Serial_channel::port_opened);
        QSignalSpy lost(&channel, &Serial_channel::port_lost);
        QSignalSpy reopened(&channel, &Serial_channel::port_reopened);
        QVERIFY(channel.open({server.url(), rate}));
        QTRY_COMPARE_WITH_TIMEOUT(opened.count(), 1, wait_ms);
        server.drop_client();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, wait_ms);
        QVERIFY(lost.at(0).at(0).toString().contains("closed the connection"));
        QTRY_COMPARE_WITH_TIMEOUT(reopened.count(), 1, wait_ms);
        QCOMPARE(server.requests, settings_asked); // purged again

        Script closing;
        closing.close_at_once = true;
        Fake_terminal_server refusing(closing);
        QVERIFY(refusing.listen());
        QVERIFY(channel.open({refusing.url(), rate}));
        QTest::qWait(4000);
        const QList<qint64> at = refusing.arrivals_ms;
        qint64 longest_gap = 0;
        for (int i = 1; i < at.size(); ++i)
            longest_gap = std::max(longest_gap, at[i] - at[i - 1]);
        QVERIFY2(at.size() >= 8 && at.size() <= 20, qPrintable(QString::number(at.size())));
        QVERIFY2(longest_gap <= quick.reconnect_max_ms + 250,
                 qPrintable(QString::number(longest_gap)));
    }
};

QTEST_GUILESS_MAIN(Tst_rfc2217_negotiation)
#include "tst_rfc2217_negotiation.moc"
