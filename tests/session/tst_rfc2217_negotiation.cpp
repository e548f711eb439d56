#include "fake_terminal_server.h"
#include "session/serial_channel.h"
#include "support/ser2net_server.h"

#include <QtTest/QtTest>

namespace {

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

} // namespace

Q_DECLARE_METATYPE(Where)
Q_DECLARE_METATYPE(Fake_terminal_server::Answer)

class Tst_rfc2217_negotiation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
};

QTEST_GUILESS_MAIN(Tst_rfc2217_negotiation)
#include "tst_rfc2217_negotiation.moc"
