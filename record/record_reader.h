#ifndef VELMAR_RECORD_RECORD_READER_H
#define VELMAR_RECORD_RECORD_READER_H

#include "record/json_line.h"
#include "record/record_entry.h"
#include "record/record_problems.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

class QIODevice;

// Reads a JSON record back, line by line, into the values its writer was
// given: the one reader of records, for every program that reads them. It
// reads both the current format and the first one (no start line, no since).
//
// A line it cannot use is noted in the problems and left out, and reading
// goes on with the next: a record cut by a crash or written by a newer
// writer still gives everything it can.
class Record_reader
{
public:
    // source: the input's name in problems ("night.jsonl", "-").
    Record_reader(QIODevice &device, const QString &source, Record_problems &problems);

    // The next usable line; false at the end of the input.
    bool next(Record_entry *entry);
    // The line the last entry came from, 1-based.
    qint64 line_number() const { return line; }
    const QString &source() const { return name; }

private:
    enum class Line_end
    {
        newline,
        end_of_input, // the last line, without a newline
    };

    bool next_line(const char **data, int *size, Line_end *end);
    bool fill();
    bool take(const char *data, int size, Line_end end, Record_entry *entry);

    QIODevice &device;
    const QString name;
    Record_problems &problems;
    QByteArray buffer;
    int start = 0;         // of the unread part of buffer
    int scanned = 0;       // bytes after start known to hold no newline
    bool finished = false; // the device has nothing more
    bool read_anything = false;
    bool discarding = false; // inside an overlong line, up to its newline
    qint64 line = 0;
    Json_line json;
};

#endif
