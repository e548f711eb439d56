#include "record_generator.h"

#include "protocol/status_layout.h"
#include "record/event_fields.h"
#include "record/json_record_format.h"
#include "record/record_problems.h"
#include "record/record_start.h"
#include "record/record_timeline.h"
#include "record/status_fields.h"
#include "report/report_maker.h"
#include "simulator/healthy_unit.h"
#include "support/record_text.h"

#include <QtCore/QBuffer>
#include <QtCore/QDateTime>

#include <algorithm>

namespace {

using S = Unit_status;

constexpr qint64 first_day_ms = 1796515200000; // 2026-12-06T00:00:00Z
constexpr qint64 day_ms = 24LL * 3600 * 1000;
constexpr qint64 watchdog_ms = 1000;
constexpr int clean_threshold_dbm = -28;

// One line of the record, before it is written: lines are made run by run in
// the order things happen, then put in the order of their times, as the
// writer stamps them (a connected line comes a judgement after its since).
struct Line
{
    qint64 at_ms = 0;
    Record_event event = Record_event::status;
    S status;
    Event_fields::Fields fields;
    QString detail;
};

template <typename T> T pick(T low, T high_exclusive)
{
    return *rc::gen::inRange(low, high_exclusive);
}

bool chance(int percent)
{
    return pick(0, 100) < percent;
}

// A fitted cage whose channels go each way; an empty one has none.
void set_type(S::Cage &cage, S::Cage_type type)
{
    cage.type = type;
    for (S::Channel &channel : cage.channels)
        channel.direction = cage.present() ? *rc::gen::element(S::Direction::rx, S::Direction::tx)
                                           : S::Direction::none;
}

void set_dante_state(S::Dante &dante, int state, bool ok)
{
    S::Dante_state *states[] = {&dante.system, &dante.sync, &dante.link};
    *states[state] = ok ? S::Dante_state::ok : S::Dante_state::fault;
}

void set_dante_present(S::Dante &dante, bool present)
{
    dante.present = present;
    for (S::Dante_state *state : {&dante.system, &dante.sync, &dante.link})
        *state = present ? S::Dante_state::ok : S::Dante_state::not_reported;
}

// A few changes to the status before: what a unit's next status may say.
S next_status(S status, const Record_shape &shape)
{
    const int changes = pick(0, 4);
    for (int change = 0; change < changes; ++change) {
        S::Cage &cage = status.cages[pick(0, S::cage_count)];
        S::Channel &channel = cage.channels[pick(0, S::channel_count)];
        const int kind = pick(0, shape.conditions ? 12 : 3);
        switch (kind) {
        case 0:
            // Healthy powers stay at or above the threshold.
            channel.power_tenths = static_cast<int16_t>(
                shape.conditions ? pick(-400, 51) : pick(clean_threshold_dbm * 10, 51));
            break;
        case 1:
            // Only what the 4-bit code can say: 25 to 100 degrees in steps of 5.
            cage.temperature_c = status::temperature_base +
                                 status::temperature_step * pick(0, status::temperature_mask + 1);
            break;
        case 2:
            if (cage.present())
                channel.direction =
                    shape.conditions
                        ? *rc::gen::element(S::Direction::rx, S::Direction::tx,
                                            S::Direction::unassigned, S::Direction::none)
                        : *rc::gen::element(S::Direction::rx, S::Direction::tx);
            break;
        case 3:
            set_type(cage, *rc::gen::element(S::Cage_type::none, S::Cage_type::video,
                                             S::Cage_type::ethernet, S::Cage_type::other));
            break;
        case 4:
            status.rx_fault = !status.rx_fault;
            break;
        case 5:
            status.tx_fault = !status.tx_fault;
            break;
        case 6:
            status.overheat = !status.overheat;
            break;
        case 7: {
            bool &lock = status.locks[pick(0, S::lock_count)];
            lock = !lock;
            break;
        }
        case 8: {
            bool *links[] = {&status.link_f, &status.link_p1, &status.link_p2};
            bool &link = *links[pick(0, S::link_count)];
            link = !link;
            break;
        }
        case 9:
            status.links_valid = !status.links_valid;
            break;
        case 10:
            if (status.dante.present && chance(70))
                set_dante_state(status.dante, pick(0, S::dante_state_count), chance(50));
            else
                set_dante_present(status.dante, !status.dante.present);
            break;
        default:
            status.threshold_dbm = static_cast<int8_t>(pick(-35, 1));
            break;
        }
    }
    return status;
}

class Run_maker
{
public:
    Run_maker(const Record_shape &shape, Generated_record &record, std::vector<Line> &lines)
        : shape(shape), record(record), lines(lines)
    {
    }

    // One run from at_ms; returns the time of its last line.
    qint64 make(qint64 at_ms)
    {
        first_line = lines.size();
        Record_start start;
        start.program = QStringLiteral("velmar-ctl");
        start.program_version = QStringLiteral("1.0.0");
        start.port = QStringLiteral("/dev/ttyUSB0");
        start.baud_rate = 115200;
        add_event(at_ms, Record_event::start, Event_fields::of(start));
        status = healthy_unit();
        if (shape.conditions)
            status.version = *rc::gen::weightedElement<uint8_t>({{6, Protocol_version::v2_0},
                                                                 {1, Protocol_version::v1_1},
                                                                 {1, Protocol_version::v1_0}});
        time_ms = at_ms + pick(0, 300);
        resume(time_ms);
        const int steps = pick(0, 30);
        for (int step = 0; step < steps; ++step) {
            const int kind = shape.link_events
                                 ? *rc::gen::weightedElement<int>({{16, 0}, {2, 1}, {1, 2}, {1, 3}})
                                 : 0;
            if (kind == 0)
                next(time_ms + pace());
            else if (kind == 1)
                damaged_frame(time_ms + pick(0, 200));
            else if (kind == 2)
                silence();
            else
                lose_port();
        }
        std::stable_sort(lines.begin() + static_cast<std::ptrdiff_t>(first_line), lines.end(),
                         [](const Line &a, const Line &b) { return a.at_ms < b.at_ms; });
        // Most runs end as a writer ends them; the others were cut short.
        if (pick(0, 4) > 0)
            add_event(lines.back().at_ms + pick(0, 2000), Record_event::end,
                      Event_fields::end(*rc::gen::element(Record_end::done, Record_end::signal,
                                                          Record_end::port_lost)));
        return lines.back().at_ms;
    }

private:
    // Mostly a few hundred ms, now and then the same millisecond or seconds.
    qint64 pace()
    {
        const int kind = *rc::gen::weightedElement<int>({{2, 0}, {10, 1}, {2, 2}});
        return kind == 0 ? 0 : kind == 1 ? pick<qint64>(1, 300) : pick<qint64>(300, 5000);
    }

    void add_event(qint64 at_ms, Record_event event, const Event_fields::Fields &fields = {},
                   const QString &detail = QString())
    {
        lines.push_back({at_ms, event, S(), fields, detail});
    }

    // A status at at_ms, written unless a --changes record wrote it already.
    void write_status(qint64 at_ms)
    {
        last_status_ms = at_ms;
        if (record.changes_only && have_written && Status_fields::read_alike(status, written))
            return;
        written = status;
        have_written = true;
        lines.push_back({at_ms, Record_event::status, status, {}, {}});
    }

    void next(qint64 at_ms)
    {
        time_ms = at_ms;
        status = next_status(status, shape);
        write_status(at_ms);
    }

    // Statuses again from at_ms: the watchdog says so a judgement later.
    void resume(qint64 at_ms)
    {
        next(at_ms);
        add_event(at_ms + pick<qint64>(0, watchdog_ms), Record_event::connected,
                  Event_fields::since(at_ms));
    }

    void damaged_frame(qint64 at_ms)
    {
        const bool crc = chance(70);
        record.crc = record.crc || crc;
        add_event(at_ms, crc ? Record_event::crc_mismatch : Record_event::short_message);
        time_ms = at_ms;
    }

    // From the last status on, nothing decodes: maybe nothing comes at all,
    // maybe only damaged frames.
    void silence()
    {
        const qint64 since = last_status_ms;
        const qint64 judged = std::max(time_ms, since + pick(watchdog_ms, 2 * watchdog_ms + 1));
        if (chance(50)) {
            damaged_frame(since + 1);
            damaged_frame(judged + 1);
        }
        add_event(judged, Record_event::silent, Event_fields::since(since));
        record.silence = true;
        resume(judged + pick<qint64>(0, 20000));
    }

    void lose_port()
    {
        const qint64 lost = time_ms + pick<qint64>(0, 500);
        add_event(lost, Record_event::port_lost, {}, QStringLiteral("gone"));
        record.port_lost = true;
        // The judgement after it finds no status: silent, which is the port's.
        if (chance(70))
            add_event(lost + pick<qint64>(0, watchdog_ms), Record_event::silent,
                      Event_fields::since(last_status_ms));
        const qint64 reopened = lost + pick(watchdog_ms, 5 * watchdog_ms);
        add_event(reopened, Record_event::reopened);
        resume(reopened + pick<qint64>(1, 2000));
    }

    const Record_shape &shape;
    Generated_record &record;
    std::vector<Line> &lines;
    std::size_t first_line = 0;
    S status;
    S written;
    bool have_written = false;
    qint64 time_ms = 0;
    qint64 last_status_ms = 0;
};

} // namespace

rc::Gen<Generated_record> generated_record(Record_shape shape)
{
    return rc::gen::exec([shape] {
        Generated_record record;
        record.changes_only = *rc::gen::arbitrary<bool>();
        std::vector<Line> lines;
        qint64 at_ms = first_day_ms + pick<qint64>(0, day_ms);
        const int runs = pick(shape.runs_at_least, 4);
        for (int run = 0; run < runs; ++run)
            at_ms = Run_maker(shape, record, lines).make(at_ms) + pick<qint64>(1, 600000);
        if (shape.clock_step) {
            const std::size_t step_at = pick<std::size_t>(1, lines.size() + 1);
            const qint64 step_ms = *rc::gen::element(-3600LL * 1000, 30 * day_ms);
            for (std::size_t line = step_at; line < lines.size(); ++line)
                lines[line].at_ms += step_ms;
        }
        const Json_record_format format;
        for (std::size_t index = 0; index < lines.size(); ++index) {
            const Line &line = lines[index];
            const QDateTime at = QDateTime::fromMSecsSinceEpoch(line.at_ms, Qt::UTC);
            QString text;
            if (line.event == Record_event::status) {
                text = format.status_line(at, line.status);
                record.statuses.push_back(line.status);
            } else if (!line.fields.empty()) {
                text = format.event_fields_line(at, line.event, line.fields);
            } else {
                text = format.event_line(at, line.event, line.detail);
            }
            if (line.event == Record_event::start && index > 0)
                record.run_offsets.push_back(record.text.size());
            record.text += text.toUtf8() + '\n';
        }
        return record;
    });
}

Report report_of(const std::vector<QByteArray> &records, const std::vector<Verdict::Check> &checks)
{
    Record_problems problems;
    Record_timeline timeline(problems);
    QStringList names;
    for (const QByteArray &text : records) {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(text);
        buffer->open(QIODevice::ReadOnly);
        names << QStringLiteral("part%1.jsonl").arg(names.size() + 1);
        timeline.add(names.last(), std::move(buffer));
    }
    return Report_maker::make(timeline, problems, names, checks);
}
