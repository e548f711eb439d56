#ifndef VELMAR_RECORD_RECORD_TIMELINE_H
#define VELMAR_RECORD_RECORD_TIMELINE_H

#include "record/record_entry.h"
#include "record/record_problems.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <functional>
#include <memory>
#include <vector>

class QIODevice;
class Record_reader;

// Several records read as one timeline: the inputs in the order of their
// first time, each read through. A line earlier than the latest time read
// (a clock set back, records that overlap) cannot be placed on the timeline;
// it is noted and left out.
class Record_timeline
{
public:
    // "-" is standard input.
    static const QString standard_input;

    explicit Record_timeline(Record_problems &problems);
    ~Record_timeline();

    // Opens every input; one that cannot be opened is noted and skipped.
    void open(const QStringList &paths);
    // Adds an input already open, for tests and pipes.
    void add(const QString &name, std::unique_ptr<QIODevice> device);

    // Runs through the timeline: begin for each input as it is reached, then
    // its entries.
    void read(const std::function<void(const QString &source)> &begin,
              const std::function<void(const Record_entry &entry)> &take);

private:
    struct Input;

    Record_problems &problems;
    std::vector<std::unique_ptr<Input>> inputs;
};

#endif
