#include "fuzz/receive_path_harness.h"
#include "session/link_watchdog.h"
#include "session/operator_settings.h"
#include "session/session.h"
#include "support/debug_lines.h"
#include "support/pty_line.h"
#include "support/quick_timing.h"
#include "support/session_line_test.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

#include <memory>

namespace {

constexpr int frame_size = 9, line_ms = 5000;
constexpr int threshold_byte = 6; // in a control frame
// Long enough for a frame written at once to show up, far below the refresh interval.
constexpr int quiet_ms = quick_timing.refresh_ms / 5;
// Well inside the watchdog's period, so that the unit never looks silent.
constexpr int report_interval_ms = quick_timing.watchdog_ms / 10;
// The intent comes this long after the connection, when the refresh timer
// starts: two time-outs then keep a frame in flight over the first refresh tick,
// and frames released at once leave the line quiet well before it.
constexpr int intent_delay_ms = quick_timing.ack_timeout_ms / 2;
// Releases the frame in flight and alters nothing: a 1.1 report has no Dante region.
const QByteArray acknowledgement = status_frame(QByteArray::fromHex("110F1800"));

enum Intent
{
    nothing,
    default_set,
    gain_then_threshold, // gain 0 to 47.75 dB, then -30 dBm applied
};

// The control frames around these space-separated payloads, as hex.
QByteArrayList frames(const QByteArray &payloads)
{
    QByteArrayList out;
    for (const QByteArray &payload : payloads.split(' '))
        out << control_frame(QByteArray::fromHex(payload)).toHex(' ');
    return out;
}

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

// What the session sends the unit, what it tells of each frame it reads and of
// the link, and what the operator's entries become.
class Tst_session : public Session_line_test
{
    Q_OBJECT

    Receive_path_harness harness;

    QByteArray next_frame() { return collect(unit, frame_size, line_ms).toHex(' '); }

    // The frames written to the line, each released by an acknowledgement, up to the first
    // that carries the marker threshold; an intent sent last marks the end of what came before.
    QByteArrayList frames_through(int8_t marker)
    {
        QByteArrayList sent;
        while (sent.isEmpty() || sent.last().at(threshold_byte) != char(marker)) {
            const QByteArray frame = collect(unit, frame_size);
            if (frame.size() < frame_size)
                break;
            sent << frame;
            session->receive(acknowledgement);
        }
        return sent;
    }

private Q_SLOTS:
    void sends_data()
    {
        QTest::addColumn<QByteArray>("reported");     // gain codes and threshold of a 2.0 unit
        QTest::addColumn<int>("intent");              // once the unit is announced
        QTest::addColumn<QByteArrayList>("expected"); // each released in turn, then a refresh
        QTest::addColumn<bool>("timed_out"); // every frame but the last is left to time out
        const auto row = [](const char *tag, const char *hex, Intent intent,
                            const QByteArrayList &f, bool timed_out = false) {
            QTest::newRow(tag) << QByteArray(hex) << int(intent) << f << timed_out;
        };
        const QByteArray defaults = "52 50 04 20 20 20 e4 d4 86";
        row("Default Set, both at 47.0", "202000", default_set, {defaults, defaults});
        row("Default Set, unit at 36/36", "2424EC", default_set,
            frames("202024EC 202020EC 202020E4 202020E4"));
        // Two time-outs keep a frame in flight over a refresh tick.
        row("Default Set, unit at 36/36, time-outs", "2424EC", default_set,
            frames("202024EC 202020EC 202020E4 202020E4"), true);
        row("-25, 10, 20", "0A14E7", nothing, frames("200A14E7"));
        // The gain's frame carries the old threshold; the new one waits for its own.
        row("threshold waits for apply", "2020EC", gain_then_threshold,
            frames("202120EC 202120E2 202120E2"));
    }

    void sends()
    {
        QFETCH(QByteArray, reported);
        QFETCH(int, intent);
        QFETCH(QByteArrayList, expected);
        QFETCH(bool, timed_out);
        const QByteArray report = status_frame(QByteArray::fromHex("200F08007F" + reported));
        QTimer reporter; // the unit talks on its own, no cages fitted
        connect(&reporter, &QTimer::timeout, this, [&] { QVERIFY(unit.write_all(report)); });
        reporter.start(report_interval_ms);
        QSignalSpy announced(session.get(), &Session::connection_announced);
        QElapsedTimer since_announced;
        connect(session.get(), &Session::connection_announced, this,
                [&since_announced] { since_announced.start(); });
        QTRY_COMPARE_WITH_TIMEOUT(announced.count(), 1, line_ms);
        QTest::qWait(int(qMax(qint64(0), intent_delay_ms - since_announced.elapsed())));
        if (intent == default_set)
            session->restore_defaults();
        if (intent == gain_then_threshold) {
            session->set_gain(0, 47.75);
            session->apply_threshold(-30);
        }
        // A refresh tick while a frame is in flight is dropped, not queued behind it: once the
        // last frame is acknowledged the line stays quiet until the next tick.
        for (int i = 0; i + 1 < expected.size(); ++i) {
            QCOMPARE(next_frame(), expected.at(i));
            if (!timed_out || i + 2 == expected.size())
                QVERIFY(unit.write_all(acknowledgement + report));
        }
        QCOMPARE(collect(unit, 1, quiet_ms), QByteArray());
        QCOMPARE(next_frame(), expected.last());
    }

    // The editors are told what each conversion holds; a frame goes out for each
    // code that differs from the unit's, carrying the values of that moment.
    void reading_gain()
    {
        session->receive(acknowledgement); // nothing in flight: changes nothing
        session->set_gain(0, 50.0);
        session->set_gain(1, 30.5);
        QSignalSpy editor(session.get(), &Session::gain_changed);
        session->load_reported_gains(); // as a connection before any Dante block does
        Status_payload report;
        report.gain[0] = 64; // more than an editor can show
        report.gain[1] = 20;
        session->receive(report.frame());
        session->load_reported_gains();
        session->apply_threshold(-35);
        QCOMPARE(static_cast<QList<QVariantList>>(editor),
                 (QList<QVariantList>{{0, 47.0}, {1, 47.0}, {0, 70.25}, {1, 38.0}}));
        // The two entries, nothing for the defaults, 63 for the unit's 64, then the marker.
        QByteArrayList expected;
        for (const char *payload : {"20242000", "20240A00", "203F2000", "203F14DD"})
            expected << control_frame(QByteArray::fromHex(payload));
        QCOMPARE(frames_through(-35), expected);
    }

    void reports_each_frame_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QStringList>("emitted"); // in order
        QTest::addColumn<QStringList>("debug");
        const QByteArray good = Status_payload().frame(), bad = with_bad_crc(good);
        Status_payload acked, disowned;
        acked.links |= 0x10;
        disowned.dante |= 0x80;
        // Three cages announced and no block sent; the second asks an acknowledgement.
        const QByteArray cut = status_frame(QByteArray::fromHex("200F0F29"));
        const QByteArray cut_acked = status_frame(QByteArray::fromHex("200F1F29"));
        const QString crc = QStringLiteral("crc mismatch");
        const QString dropped = QStringLiteral("Short status message dropped");
        QTest::newRow("good") << good << QStringList{"status"} << QStringList();
        QTest::newRow("Dante disowns its report")
            << disowned.frame() << QStringList{"status"}
            << QStringList{"Invalid message from dante submodule"};
        QTest::newRow("too short, its acknowledgement honoured")
            << cut_acked << QStringList{"ack", "short"} << QStringList{dropped};
        QTest::newRow("mixed chunk")
            << good + bad + cut + acked.frame()
            << QStringList{"status", "crc", "short", "ack", "status"} << QStringList{crc, dropped};
        QTest::newRow("lengths 0 and 45 given up at once")
            << QByteArray("PR\x00", 3) + good + QByteArray("PR\x2D") + good
            << QStringList{"status", "status"} << QStringList();
    }

    void reports_each_frame()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(QStringList, emitted);
        QFETCH(QStringList, debug);
        QStringList seen;
        const auto record = [this, &seen](auto signal, const char *name) {
            connect(session.get(), signal, this, [&seen, name] { seen << name; });
        };
        record(&Session::acknowledged, "ack");
        record(&Session::status_received, "status");
        record(&Session::crc_mismatch, "crc");
        record(&Session::short_message, "short");
        Debug_lines lines;
        session->receive(chunk);
        QCOMPARE(seen, emitted);
        QCOMPARE(lines.take(), debug);
    }

    // What an editor holds and sends for what is typed, the one conversion the window and
    // velmar-ctl share; the unit reports 47.0 dB (code 32) on both inputs.
    void typed_gain_data()
    {
        QTest::addColumn<double>("typed");
        QTest::addColumn<double>("held");  // what the editor ends up holding
        QTest::addColumn<bool>("snapped"); // the editor was told to show held
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("frames"); // control frames for the entry, the unit at code 32
        QTest::newRow("23.0 lowest") << 23.0 << 23.0 << false << 0 << 1;
        QTest::newRow("70.25 highest") << 70.25 << 70.25 << false << 63 << 1;
        QTest::newRow("below the range") << 10.0 << 23.0 << false << 0 << 1;
        QTest::newRow("above the range") << 80.0 << 70.25 << false << 63 << 1;
        QTest::newRow("47.5 snaps up, sent twice") << 47.5 << 47.75 << true << 33 << 2;
        QTest::newRow("47.37: hundredths cut, to 47.0") << 47.37 << 47.0 << true << 32 << 0;
        QTest::newRow("47.38 to 47.75") << 47.38 << 47.75 << true << 33 << 2;
        QTest::newRow("47.376 held as 47.38") << 47.376 << 47.75 << true << 33 << 2;
        QTest::newRow("47.374 held as 47.37") << 47.374 << 47.0 << true << 32 << 0;
    }

    void typed_gain()
    {
        QFETCH(double, typed);
        QFETCH(double, held);
        QFETCH(bool, snapped);
        QFETCH(int, code);
        QFETCH(int, frames);
        for (int input = 0; input < Unit_status::input_count; ++input) {
            Operator_settings settings;
            QSignalSpy shown(&settings, &Operator_settings::gain_shown);
            QSignalSpy sent(&settings, &Operator_settings::frame_wanted);
            settings.enter_gain(input, typed, Unit_status().dante);
            QCOMPARE(settings.gain_db(input), held);
            QCOMPARE(shown.count(), snapped ? 1 : 0);
            if (snapped)
                QCOMPARE(shown.first(), (QVariantList{input, held}));
            QCOMPARE(int(settings.values().gain_codes[input]), code);
            QCOMPARE(int(settings.values().gain_codes[1 - input]), int(Gain_law::initial_code));
            QCOMPARE(sent.count(), frames);
        }
    }

    void threshold_kept_to_the_units_range_data()
    {
        QTest::addColumn<int>("applied");
        QTest::addColumn<int>("sent");
        QTest::newRow("-35") << -35 << -35;
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("-40") << -40 << -35;
        QTest::newRow("5") << 5 << 0;
    }

    void threshold_kept_to_the_units_range()
    {
        QFETCH(int, applied);
        Operator_settings settings;
        QSignalSpy sent(&settings, &Operator_settings::frame_wanted);
        settings.apply_threshold(applied);
        QCOMPARE(sent.count(), 1);
        QTEST(int(sent.first().first().value<Control_payload>().threshold_dbm), "sent");
    }

    void a_reported_threshold_is_taken_as_it_is()
    {
        Operator_settings settings;
        QSignalSpy sent(&settings, &Operator_settings::frame_wanted);
        settings.take_reported_threshold(-40);
        QCOMPARE(int(settings.values().threshold_dbm), -40);
        QCOMPARE(sent.count(), 0);
    }

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

    // The fuzzer's corpus and the inputs that once broke the receive path, through the
    // fuzzer's own harness.
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("version"); // -1: a regression input, only required not to fail
        QTest::addColumn<int>("cages");
        const QDir seeds(QStringLiteral(VELMAR_FUZZ_CORPUS_DIR));
        const QStringList names = seeds.entryList(QDir::Files, QDir::Name);
        QCOMPARE(names.size(), 3 * 64);   // three versions, every combination of three cage codes
        for (const QString &name : names) // v<version>_c<cages>.bin
            QTest::newRow(qPrintable(name))
                << seeds.filePath(name) << name.mid(1, 2).toInt(nullptr, 16)
                << name.mid(5, 2).toInt(nullptr, 16);
        const QDir found(QStringLiteral(VELMAR_FUZZ_REGRESSIONS_DIR));
        for (const QString &name : found.entryList(QDir::Files, QDir::Name))
            QTest::addRow("regression %s", qPrintable(name)) << found.filePath(name) << -1 << 0;
    }

    void replay()
    {
        QFETCH(QString, path);
        QFETCH(int, version);
        QFETCH(int, cages);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        harness.run(file.readAll()); // a fault come back aborts or trips the sanitizers
        if (version < 0)
            return;
        QCOMPARE(harness.statuses().size(), 1); // however the seed's chunk plan cuts its frame
        const Unit_status &status = harness.statuses().first();
        QCOMPARE(int(status.version), version);
        for (int cage = 0; cage < Unit_status::cage_count; ++cage)
            QCOMPARE(int(status.cages[cage].type), (cages >> 2 * cage) & 0x3);
    }
};

QTEST_MAIN(Tst_session)
#include "tst_session.moc"
