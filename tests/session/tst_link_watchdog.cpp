#include "session/link_watchdog.h"
#include "session/session.h"
#include "simulator/unit_simulator.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

namespace {

using State = Link_watchdog::State;
using Verdict = Link_watchdog::Verdict;

constexpr int line_ms = 5000;
// Long enough for a frame written just before a tick to reach the other end.
constexpr int quiet_ms = 300;

// The frames of one second, by tokens: "+20" a good frame of version 0x20,
// "-20" the same with a broken CRC, "s11" a good frame of version 0x11 too
// short to decode, "~" bytes that complete no frame.
QStringList tokens(const QString &frames)
{
    return frames.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

uint8_t version_of(const QString &token)
{
    return static_cast<uint8_t>(token.mid(1).toUInt(nullptr, 16));
}

QByteArray bytes_of(const QString &frames)
{
    QByteArray bytes;
    for (const QString &token : tokens(frames)) {
        const uint8_t version = version_of(token);
        const QByteArray frame = Status_payload{version}.frame();
        if (token == QLatin1String("~"))
            bytes += "xyz";
        else if (token.startsWith(QLatin1Char('s')))
            bytes += status_frame(QByteArray(1, char(version)));
        else
            bytes += token.startsWith(QLatin1Char('+')) ? frame : with_bad_crc(frame);
    }
    return bytes;
}

// "ok": frames came, "threshold": the unit takes one, "new": announced, "up": connected.
Verdict verdict_of(const QString &after)
{
    if (!after.contains(QLatin1String("ok")))
        return {State::silent, false};
    const State state = after.contains(QLatin1String("up")) ? State::connected : State::receiving;
    return {state, after.contains(QLatin1String("threshold"))};
}

QVector<int> seen(const Link_watchdog::Tick &tick)
{
    return {int(tick.verdict.state), tick.verdict.takes_threshold, tick.announce, tick.withdraw};
}

} // namespace

class Tst_link_watchdog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void state_table_data()
    {
        QTest::addColumn<bool>("up_before");
        QTest::addColumn<QString>("frames");
        QTest::addColumn<QString>("after");
        const auto row = [](const char *name, bool up, const char *frames, const char *after) {
            QTest::newRow(name) << up << QString(frames) << QString(after);
        };
        row("new, nothing", false, "", "");
        row("new, noise only", false, "~", "");
        row("new, 31", false, "+1F", "ok");
        row("new, noise and 2.0", false, "~ +20", "ok threshold new up");
        row("new, 255", false, "+FF", "ok threshold new up");
        row("new, 2.0 bad CRC", false, "-20", "ok threshold");
        row("new, 1.1 bad CRC", false, "-11", "ok");
        row("new, bad CRC then good", false, "-20 +20", "ok threshold new up");
        row("new, short 2.0: nothing decoded yet", false, "s20", "ok threshold");
        // The short frame's own version counts, not the bad frame's unverified byte.
        row("new, good, bad, short 1.1", false, "+20 -20 s11", "ok");
        row("up, 2.0", true, "+20", "ok threshold up");
        row("up, good then bad CRC", true, "+20 -20", "ok threshold");
        row("up, 31", true, "+1F", "ok");
        row("up, good, bad, short 1.1", true, "+20 -20 s11", "ok");
        row("up, nothing", true, "", "");
    }

    void state_table()
    {
        QFETCH(bool, up_before);
        QFETCH(QString, frames);
        QFETCH(QString, after);
        const Verdict verdict = verdict_of(after);
        const bool up_after = verdict.state == State::connected;
        Link_watchdog watchdog;
        if (up_before) {
            watchdog.frame_completed(true, Protocol_version::v2_0, true, 0);
            QVERIFY(watchdog.tick().announce);
        }
        for (const QString &token : tokens(frames))
            if (token != QLatin1String("~"))
                watchdog.frame_completed(!token.startsWith(QLatin1Char('-')), version_of(token),
                                         token.startsWith(QLatin1Char('+')), 0);
        QCOMPARE(seen(watchdog.tick()),
                 QVector<int>({int(verdict.state), verdict.takes_threshold,
                               after.contains(QLatin1String("new")), up_before && !up_after}));
        // Unless it is still up, the next good second announces the connection.
        watchdog.frame_completed(true, Protocol_version::v2_0, true, 0);
        QCOMPARE(watchdog.tick().announce, !up_after);
    }

    void through_the_session_data() { state_table_data(); }

    void through_the_session()
    {
        QFETCH(bool, up_before);
        QFETCH(QString, frames);
        QFETCH(QString, after);
        const Verdict verdict = verdict_of(after);
        Session session; // its own watchdog timer never fires: no event loop runs here
        if (up_before) {
            session.receive(bytes_of(QStringLiteral("+20")));
            session.check_link();
        }
        QSignalSpy links(&session, &Session::link_changed);
        QSignalSpy announced(&session, &Session::connection_announced);
        session.receive(bytes_of(frames));
        session.check_link();
        const Verdict before = up_before ? Verdict{State::connected, true} : Verdict{};
        QCOMPARE(links.count(), verdict != before ? 1 : 0);
        if (!links.isEmpty()) {
            const Verdict told = links.first().first().value<Verdict>();
            QCOMPARE(int(told.state), int(verdict.state));
            QCOMPARE(told.takes_threshold, verdict.takes_threshold);
        }
        QCOMPARE(announced.count(), after.contains(QLatin1String("new")) ? 1 : 0);
    }

    void refresh_runs_while_the_unit_talks()
    {
        Unit_simulator unit;
        unit.settings().drift = false;
        QVERIFY2(unit.start_on_pty(), qPrintable(unit.error_string()));
        Session session;
        QSignalSpy announced(&session, &Session::connection_announced);
        QSignalSpy links(&session, &Session::link_changed);
        QSignalSpy controls(&unit, &Unit_simulator::control_frame_received);
        QVERIFY(session.open_port({unit.slave_path(), Port_settings::default_baud_rate}));
        QTRY_COMPARE_WITH_TIMEOUT(announced.count(), 1, line_ms);
        QTRY_VERIFY_WITH_TIMEOUT(!controls.isEmpty(), line_ms);
        QCOMPARE(controls.first(), QVariantList({32, 32, -28, true})); // the unit's own values
        unit.silence(60 * line_ms);
        const auto last_state = [&links] {
            return links.isEmpty() ? State::waiting : links.last().first().value<Verdict>().state;
        };
        QTRY_COMPARE_WITH_TIMEOUT(last_state(), State::silent, line_ms);
        QTest::qWait(quiet_ms); // a refresh written just before the tick may be on its way
        controls.clear();
        QTest::qWait(Session_timing().refresh_ms + quiet_ms);
        QCOMPARE(controls.count(), 0);
    }
};

QTEST_MAIN(Tst_link_watchdog)
#include "tst_link_watchdog.moc"
