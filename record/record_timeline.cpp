#include "record/record_timeline.h"

#include "record/record_reader.h"
#include "record/record_time.h"

#include <QtCore/QFile>

#include <algorithm>

namespace {

constexpr double ms_per_second = 1000.0;
constexpr int seconds_decimals = 3;
// A record whose clock steps more often than this is compared with the others
// by fewer, wider stretches: it may be called overlapping sooner, never later.
constexpr std::size_t spans_max = 1000;

QString seconds(qint64 ms)
{
    return QString::number(ms / ms_per_second, 'f', seconds_decimals) + QStringLiteral(" s");
}

} // namespace

const QString Record_timeline::standard_input = QStringLiteral("-");

// A stretch of one record's time without a clock step in it.
struct Record_timeline::Span
{
    QString source;
    qint64 from_ms;
    qint64 to_ms;

    bool overlaps(const Span &other) const
    {
        return from_ms < other.to_ms && other.from_ms < to_ms;
    }
};

struct Record_timeline::Input
{
    QString name;
    std::unique_ptr<QIODevice> device;
    std::unique_ptr<Record_reader> reader;
    bool has_first = false;
    Record_entry first;
    std::vector<Span> spans;

    void stretch_to(qint64 at_ms) { spans.back().to_ms = std::max(spans.back().to_ms, at_ms); }
    void begin_span(qint64 at_ms)
    {
        if (spans.size() < spans_max)
            spans.push_back({name, at_ms, at_ms});
        else
            spans.back() = {name, std::min(spans.back().from_ms, at_ms),
                            std::max(spans.back().to_ms, at_ms)};
    }
};

Record_timeline::Record_timeline(Record_problems &problems) : problems(problems) {}

Record_timeline::~Record_timeline() = default;

void Record_timeline::open(const QStringList &paths)
{
    for (const QString &path : paths) {
        auto file = std::make_unique<QFile>(path);
        const bool opened = path == standard_input ? file->open(stdin, QIODevice::ReadOnly)
                                                   : file->open(QIODevice::ReadOnly);
        if (!opened) {
            problems.note(path, Record_problems::Kind::cannot_read, 0, file->errorString());
            continue;
        }
        add(path, std::move(file));
    }
}

void Record_timeline::add(const QString &name, std::unique_ptr<QIODevice> device)
{
    auto input = std::make_unique<Input>();
    input->name = name;
    input->device = std::move(device);
    input->reader = std::make_unique<Record_reader>(*input->device, name, problems);
    inputs.push_back(std::move(input));
}

bool Record_timeline::read(const std::function<void(const QString &)> &begin,
                           const std::function<void(const Record_entry &)> &take,
                           const std::function<void(const Clock_step &)> &step)
{
    // Only the first line of each is read before its turn: standard input
    // and a day of records are read once, as a stream.
    for (const auto &input : inputs)
        input->has_first = input->reader->next(&input->first);
    std::stable_sort(inputs.begin(), inputs.end(), [](const auto &a, const auto &b) {
        return a->has_first && (!b->has_first || a->first.time_ms < b->first.time_ms);
    });
    std::vector<Span> earlier;
    for (const auto &input : inputs) {
        if (!input->has_first)
            continue;
        begin(input->name);
        Record_entry entry = input->first;
        input->begin_span(entry.time_ms);
        qint64 previous_ms = entry.time_ms;
        // Whether a status is held at the line before: only then is a long
        // quiet stretch telling.
        bool held = false;
        bool status_in_run = false;
        do {
            const qint64 jump = entry.time_ms - previous_ms;
            if (jump < 0 || (held && jump > longest_quiet_ms)) {
                const Clock_step clock_step{input->name, input->reader->line_number(), previous_ms,
                                            entry.time_ms};
                note_step(clock_step);
                step(clock_step);
                input->begin_span(entry.time_ms);
                held = status_in_run = false;
            }
            switch (entry.event) {
            case Record_event::status:
                held = status_in_run = true;
                break;
            case Record_event::connected:
                held = status_in_run;
                break;
            case Record_event::start:
            case Record_event::end:
                held = status_in_run = false;
                break;
            case Record_event::silent:
            case Record_event::port_lost:
            case Record_event::port_unavailable:
                held = false;
                break;
            case Record_event::crc_mismatch:
            case Record_event::short_message:
            case Record_event::reopened:
            case Record_event::sent:
            case Record_event::ack_timeout:
                break;
            }
            input->stretch_to(entry.time_ms);
            previous_ms = entry.time_ms;
            take(entry);
        } while (input->reader->next(&entry));
        input->reader.reset();
        input->device.reset();
        if (overlaps(*input, earlier))
            return false;
        earlier.insert(earlier.end(), input->spans.begin(), input->spans.end());
    }
    return true;
}

void Record_timeline::note_step(const Clock_step &clock_step)
{
    const qint64 size = clock_step.after_ms - clock_step.before_ms;
    problems.note(clock_step.source, Record_problems::Kind::clock_step, clock_step.line,
                  QStringLiteral("%1 by %2, from %3 to %4")
                      .arg(size < 0 ? QStringLiteral("back") : QStringLiteral("forward"),
                           seconds(std::abs(size)), Record_time::text(clock_step.before_ms),
                           Record_time::text(clock_step.after_ms)));
}

bool Record_timeline::overlaps(const Input &input, const std::vector<Span> &earlier)
{
    for (const Span &span : input.spans) {
        for (const Span &before : earlier) {
            if (!span.overlaps(before))
                continue;
            problems.note(input.name, Record_problems::Kind::overlap, 0,
                          QStringLiteral("overlaps %1 in time (%1 from %2 to %3, %4 from %5 "
                                         "to %6): records that overlap cannot be one unit's; "
                                         "report each on its own")
                              .arg(before.source, Record_time::text(before.from_ms),
                                   Record_time::text(before.to_ms), input.name,
                                   Record_time::text(span.from_ms), Record_time::text(span.to_ms)));
            return true;
        }
    }
    return false;
}
