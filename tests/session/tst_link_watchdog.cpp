#include "session/link_watchdog.h"
#include "session/session.h"
#include "support/quick_timing.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

namespace {

using State = Link_watchdog::State;
using Verdict = Link_watchdog::Verdict;

// The frames of one period, by tokens: "+20" a good frame of version 0x20,
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

QByteArray bytes_of(const QString &token)
{
    const QByteArray frame = Status_payload{version_of(token)}.frame();
    if (token.startsWith(QLatin1Char('s')))
        return status_frame(QByteArray(1, char(version_of(token))));
    return token == QLatin1String("~") ? "xyz" : token[0] == '+' ? frame : with_bad_crc(frame);
}

// "connected threshold announced": the state, whether the unit takes a
// threshold, and whether the connection is announced or withdrawn.
QString described(const Verdict &verdict, bool announced, bool withdrawn)
{
    static const QStringList states{"waiting", "silent", "receiving", "connected"};
    QStringList words{states.at(int(verdict.state))};
    if (verdict.takes_threshold)
        words << "threshold";
    if (announced)
        words << "announced";
    if (withdrawn)
        words << "withdrawn";
    return words.join(' ');
}

qint64 now_ms = 0; // the session's clock where a test sets it

} // namespace

class Tst_link_watchdog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void judges_a_period_data()
    {
        QTest::addColumn<bool>("up_before"); // a 2.0 unit connected in the period before
        QTest::addColumn<QString>("frames");
        QTest::addColumn<QString>("judged");
        const auto row = [](const char *name, bool up, const char *frames, const char *judged) {
            QTest::newRow(name) << up << QString(frames) << QString(judged);
        };
        row("new, nothing", false, "", "silent");
        row("new, noise only", false, "~", "silent");
        row("new, 31", false, "+1F", "receiving");
        row("new, noise and 2.0", false, "~ +20", "connected threshold announced");
        row("new, 255", false, "+FF", "connected threshold announced");
        row("new, 2.0 bad CRC", false, "-20", "receiving threshold");
        row("new, 1.1 bad CRC", false, "-11", "receiving");
        row("new, bad CRC then good", false, "-20 +20", "connected threshold announced");
        row("new, short 2.0: nothing decoded yet", false, "s20", "receiving threshold");
        // The short frame's own version counts, not the bad frame's unverified byte.
        row("new, good, bad, short 1.1", false, "+20 -20 s11", "receiving");
        row("up, 2.0", true, "+20", "connected threshold");
        row("up, good then bad CRC", true, "+20 -20", "receiving threshold withdrawn");
        row("up, 31", true, "+1F", "receiving withdrawn");
        row("up, good, bad, short 1.1", true, "+20 -20 s11", "receiving withdrawn");
        row("up, nothing", true, "", "silent withdrawn");
    }

    // The watchdog alone, then through the session, which judges the frames it
    // reads; no event loop runs, so the session's own timer never judges.
    void judges_a_period()
    {
        QFETCH(bool, up_before);
        QFETCH(QString, frames);
        QFETCH(QString, judged);
        Link_watchdog watchdog;
        Session session(quick_timing);
        if (up_before) {
            watchdog.frame_completed(true, Protocol_version::v2_0, true, 0);
            QVERIFY(watchdog.tick().announce);
            session.receive(bytes_of("+20"));
            session.check_link();
        }
        QSignalSpy links(&session, &Session::link_changed);
        QSignalSpy announced(&session, &Session::connection_announced);
        for (const QString &token : tokens(frames)) {
            if (token != QLatin1String("~"))
                watchdog.frame_completed(token[0] != '-', version_of(token), token[0] == '+', 0);
            session.receive(bytes_of(token));
        }
        const Link_watchdog::Tick tick = watchdog.tick();
        QCOMPARE(described(tick.verdict, tick.announce, tick.withdraw), judged);
        // Unless it is still up, the next good period announces the connection.
        watchdog.frame_completed(true, Protocol_version::v2_0, true, 0);
        QCOMPARE(watchdog.tick().announce, tick.verdict.state != State::connected);

        // The session tells a changed verdict, and cannot tell a withdrawal.
        session.check_link();
        const QString before = up_before ? "connected threshold" : "waiting";
        QCOMPARE(links.count(), judged == before ? 0 : 1);
        const Verdict told = links.isEmpty() ? Verdict{State::connected, true}
                                             : links.last().first().value<Verdict>();
        QCOMPARE(described(told, !announced.isEmpty(), tick.withdraw), judged);
    }

    // Whether the unit's values are known goes by decoded statuses alone:
    // damaged and short frames keep the link receiving but tell nothing. One
    // period's frames a word, as judges_a_period reads them, "|" a lost port.
    void knows_the_values_data()
    {
        QTest::addColumn<QStringList>("periods");
        QTest::addColumn<QString>("told"); // each change, "known 100" or "unknown 100"
        const auto row = [](const char *name, const QStringList &periods, const char *told) {
            QTest::newRow(name) << periods << QString(told);
        };
        row("nothing ever", {"", ""}, "unknown -1");
        row("decoded statuses", {"+20", "+11 +20"}, "known 0");
        row("a damaged stretch is not known", {"+20", "-20 -20", "s11", "+20"},
            "known 0, unknown 0, known 300");
        row("frames that decode nothing from the start", {"-20", "s20 -11"}, "unknown -1");
        row("one status among damaged frames is known", {"+20", "-20 +20 -20"}, "known 0");
        row("frames before a lost port", {"+20", "+20|", "+20"}, "known 0, unknown 100, known 200");
    }

    void knows_the_values()
    {
        QFETCH(QStringList, periods);
        QFETCH(QString, told);
        Link_watchdog watchdog;
        QStringList changes;
        Link_watchdog::Values before;
        qint64 at_ms = 0;
        for (const QString &period : periods) {
            for (const QString &token : tokens(QString(period).remove(QLatin1Char('|'))))
                watchdog.frame_completed(token[0] != '-', version_of(token), token[0] == '+',
                                         at_ms);
            if (period.endsWith(QLatin1Char('|')))
                watchdog.port_lost();
            const Link_watchdog::Values values = watchdog.tick().values;
            QVERIFY(values.judged);
            if (values != before)
                changes << QStringLiteral("%1 %2")
                               .arg(values.known ? "known" : "unknown")
                               .arg(values.since_ms);
            before = values;
            at_ms += 100;
        }
        QCOMPARE(changes.join(QStringLiteral(", ")), told);
    }

    // Frames read before the port went away say nothing of the unit now: the
    // period they fall in is silent, and only a frame after the reopen
    // connects again.
    void frames_before_a_lost_port_are_not_a_live_link()
    {
        Link_watchdog watchdog;
        watchdog.frame_completed(true, Protocol_version::v2_0, true, 100);
        watchdog.port_lost();
        QCOMPARE(described(watchdog.tick().verdict, false, false), QString("silent"));
        watchdog.port_opened();
        watchdog.frame_completed(true, Protocol_version::v2_0, true, 2100);
        const Link_watchdog::Tick tick = watchdog.tick();
        QCOMPARE(described(tick.verdict, tick.announce, false),
                 QString("connected threshold announced"));
        QCOMPARE(tick.verdict.since_ms, qint64(2100));
    }

    // When a state began, as the session's clock timed the reads: the first
    // frame after a silence, the last frame before one.
    void the_verdict_tells_since_when()
    {
        Session_timing timing = quick_timing;
        timing.clock = [] { return now_ms; };
        Session session(timing);
        QSignalSpy links(&session, &Session::link_changed);
        QSignalSpy values(&session, &Session::values_known_changed);
        const auto read_at = [&session](qint64 ms) {
            now_ms = ms;
            session.receive(unit_frame());
        };
        read_at(1000);
        read_at(1500);
        session.check_link();
        read_at(2500);
        session.check_link(); // still connected since 1000: no change
        session.check_link();
        read_at(4000);
        session.check_link();
        QStringList told;
        for (const QVariantList &signal : links) {
            const Verdict verdict = signal.first().value<Verdict>();
            told << described(verdict, false, false) +
                        QStringLiteral(" since %1").arg(verdict.since_ms);
        }
        QCOMPARE(told, (QStringList{"connected threshold since 1000", "silent since 2500",
                                    "connected threshold since 4000"}));
        QStringList known;
        for (const QVariantList &signal : values) {
            const auto told_values = signal.first().value<Link_watchdog::Values>();
            known << QStringLiteral("%1 since %2")
                         .arg(told_values.known ? "known" : "unknown")
                         .arg(told_values.since_ms);
        }
        QCOMPARE(known,
                 (QStringList{"known since 1000", "unknown since 2500", "known since 4000"}));
    }
};

QTEST_GUILESS_MAIN(Tst_link_watchdog)
#include "tst_link_watchdog.moc"
