#ifndef VELMAR_RECORD_RECORD_TIMELINE_H
#define VELMAR_RECORD_RECORD_TIMELINE_H

#include "record/record_entry.h"
#include "record/record_problems.h"

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QtGlobal>

#include <functional>
#include <memory>
#include <vector>

class QIODevice;
class Record_reader;

// Several records read as one unit's timeline: the inputs in the order of
// their first time, each read through in its own order, which is the order
// its writer wrote it in.
//
// Within a record, a time that goes backwards, or that jumps forward by more
// than longest_quiet_ms while a status is held, is a clock step: the writer's
// clock was set, not the unit quiet. It is handed on as such, so that nothing
// is held across it, and noted with its size and line.
//
// Records whose times overlap cannot be one unit's night (two units'
// records, or one record given twice): the timeline refuses them, naming
// the overlap, rather than merge them into one that neither unit had.
class Record_timeline
{
public:
    // "-" is standard input.
    static const QString standard_input;
    // A record of changes only (`watch --changes`, the window's) writes
    // nothing while the unit stays the same, so an hour without a line is
    // a steady unit. A unit steady to the tenth of a dBm, to the degree band
    // and in every indicator for more than a day is not: the clock stepped.
    static constexpr qint64 longest_quiet_ms = 24LL * 3600 * 1000;

    struct Clock_step
    {
        QString source;
        qint64 line = 0;      // of the first line after the step, 1-based
        qint64 before_ms = 0; // the time of the line before the step
        qint64 after_ms = 0;  // and of the line after it
    };

    explicit Record_timeline(Record_problems &problems);
    ~Record_timeline();

    // Opens every input; one that cannot be opened is noted and skipped.
    void open(const QStringList &paths);
    // Adds an input already open, for tests and pipes.
    void add(const QString &name, std::unique_ptr<QIODevice> device);

    // Runs through the timeline: begin for each input as it is reached, then
    // its entries, with a clock step between two of them where there is one.
    // False when the records overlap in time (noted): what was handed on is
    // then no one unit's timeline, and nothing of it may be reported.
    bool read(const std::function<void(const QString &source)> &begin,
              const std::function<void(const Record_entry &entry)> &take,
              const std::function<void(const Clock_step &step)> &step);

private:
    struct Input;
    struct Span;

    void note_step(const Clock_step &step);
    bool overlaps(const Input &input, const std::vector<Span> &earlier);

    Record_problems &problems;
    std::vector<std::unique_ptr<Input>> inputs;
};

#endif
