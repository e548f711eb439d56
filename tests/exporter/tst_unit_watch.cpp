// One watched port's counters, as a scrape shows them, over generated
// stories of what a line does: statuses, damaged and short frames, quiet
// periods, the adapter pulled and plugged in again. A counter that goes
// back reads to Prometheus as a restart, and rate() shows a spike. A lost
// port is down at once.
#include "exporter/metrics_text.h"
#include "exporter/unit_watch.h"
#include "support/property.h"
#include "support/pty_line.h"
#include "support/status_payload.h"

#include <QtCore/QMap>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <memory>

namespace {

constexpr int line_timeout_ms = 5000;

// Three cages announced and not one block sent: too short for its own 2.0.
const QByteArray short_payload = QByteArray::fromHex("200F0F29");

constexpr int watchdog_ms = 50;

Session_timing quick_timing()
{
    Session_timing timing;
    timing.reopen_ms = 20;
    timing.watchdog_ms = watchdog_ms;
    return timing;
}

// Every counter of the scrape of one reading, by its sample's line.
QMap<QString, double> counters(const Unit_reading &reading)
{
    QMap<QString, double> found;
    const QList<QByteArray> lines = Metrics_text::render({reading}).split('\n');
    for (const QByteArray &line : lines) {
        const int space = line.lastIndexOf(' ');
        const QByteArray sample = line.left(space);
        if (!line.startsWith('#') && sample.split('{').first().endsWith("_total"))
            found.insert(QString::fromUtf8(sample), line.mid(space + 1).toDouble());
    }
    return found;
}

// A unit on a pseudo-terminal behind a link, as an adapter under
// /dev/serial/by-id, and the exporter's watch of that link.
class Watched_line
{
public:
    bool open()
    {
        watch = std::make_unique<Unit_watch>(link, QString(), 115200, quick_timing());
        return plug() && (watch->open_if_closed(), watch->reading().port_open);
    }

    // Plays one event ('s' status, 'x' damaged frame, 'h' short message, 'q'
    // a quiet period, 'l' the adapter out and back) and waits for its effect.
    bool play(char event)
    {
        const QMap<QString, double> before = counters(now());
        if (event == 'q') {
            QTest::qWait(3 * watchdog_ms);
            return true;
        }
        if (event == 'l') {
            line.reset();
            QFile::remove(link);
            if (!QTest::qWaitFor([&] { return !now().port_open; }, line_timeout_ms))
                return false;
            // Down at once, and a loss is not a silence as well, however
            // long it lasts.
            RC_ASSERT(!now().up());
            const quint64 silences = now().silences;
            QTest::qWait(3 * watchdog_ms);
            RC_ASSERT(now().silences == silences);
            return plug() && QTest::qWaitFor([&] { return now().port_open; }, line_timeout_ms);
        }
        const QByteArray frame = event == 's'   ? Status_payload().frame()
                                 : event == 'x' ? with_bad_crc(Status_payload().frame())
                                                : status_frame(short_payload);
        // Each frame counts somewhere.
        return line->write_all(frame) &&
               QTest::qWaitFor([&] { return counters(now()) != before; }, line_timeout_ms);
    }

    Unit_reading now() const { return watch->reading(); }

private:
    bool plug()
    {
        line = std::make_unique<Pty_device>();
        return line->open() && point_link(link, line->slave_path());
    }

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("unit"));
    std::unique_ptr<Pty_device> line;
    std::unique_ptr<Unit_watch> watch;
};

// Some events, one after the other, each waited for; the counters after each.
void counters_never_go_back()
{
    const int length = *rc::gen::inRange(1, 16);
    const auto story = *rc::gen::container<std::vector<char>>(
        std::size_t(length), rc::gen::element('s', 'x', 'h', 'q', 'l'));
    Watched_line watched;
    RC_ASSERT(watched.open());
    QMap<QString, double> last = counters(watched.now());
    RC_ASSERT(!last.isEmpty());
    for (const char event : story) {
        RC_ASSERT(watched.play(event));
        const QMap<QString, double> seen = counters(watched.now());
        for (auto counter = last.cbegin(); counter != last.cend(); ++counter) {
            RC_ASSERT(seen.contains(counter.key()));
            RC_ASSERT(seen.value(counter.key()) >= counter.value());
        }
        last = seen;
    }
}

} // namespace

class Unit_watch_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void counters_never_go_back_over_any_story()
    {
        QVERIFY(holds("every _total counter never decreases, whatever happens to the port",
                      &counters_never_go_back, property_seed, 25));
    }
};

QTEST_GUILESS_MAIN(Unit_watch_test)
#include "tst_unit_watch.moc"
