#include "record/record_timeline.h"

#include "record/record_reader.h"

#include <QtCore/QFile>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double ms_per_second = 1000.0;
constexpr int seconds_decimals = 3;

} // namespace

const QString Record_timeline::standard_input = QStringLiteral("-");

struct Record_timeline::Input
{
    QString name;
    std::unique_ptr<QIODevice> device;
    std::unique_ptr<Record_reader> reader;
    bool has_first = false;
    Record_entry first;
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

void Record_timeline::read(const std::function<void(const QString &)> &begin,
                           const std::function<void(const Record_entry &)> &take)
{
    // Only the first line of each is read before its turn: standard input
    // and a day of records are read once, as a stream.
    for (const auto &input : inputs)
        input->has_first = input->reader->next(&input->first);
    std::stable_sort(inputs.begin(), inputs.end(), [](const auto &a, const auto &b) {
        return a->has_first && (!b->has_first || a->first.time_ms < b->first.time_ms);
    });
    bool any = false;
    qint64 latest = 0;
    for (const auto &input : inputs) {
        if (!input->has_first)
            continue;
        begin(input->name);
        Record_entry entry = input->first;
        do {
            if (any && entry.time_ms < latest) {
                problems.note(
                    input->name, Record_problems::Kind::time_backwards,
                    input->reader->line_number(),
                    QStringLiteral("%1 s before a line read earlier")
                        .arg((latest - entry.time_ms) / ms_per_second, 0, 'f', seconds_decimals));
                continue;
            }
            any = true;
            latest = entry.time_ms;
            take(entry);
        } while (input->reader->next(&entry));
        input->reader.reset();
        input->device.reset();
    }
}
