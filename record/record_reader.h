#ifndef VELMAR_RECORD_RECORD_READER_H
#define VELMAR_RECORD_RECORD_READER_H

#include "record/record_entry.h"
#include "record/record_line.h"
#include "record/record_problems.h"

#include <QtCore/QString>
#include <QtCore/QtGlobal>

#include <cstddef>
#include <deque>
#include <memory>
#include <vector>

class QIODevice;

// Reads a JSON record back, line by line, into the values its writer was
// given: the one reader of records, for every program that reads them. It
// reads both the current format and the first one (no start line, no since).
//
// A line it cannot use is noted in the problems and left out, and reading
// goes on with the next: a record cut by a crash or written by a newer
// writer still gives everything it can. An input in which no line at all is
// a record line (a CSV record, a README, a picture, an empty file) is noted
// as not a record, without its lines.
//
// A day of records is a gigabyte: the input is read in blocks of whole
// lines, and when it is longer than two, helper threads parse the blocks
// ahead while the caller takes the entries in order. Entries and problems
// come out exactly as one thread reading line by line would give them.
class Record_reader
{
public:
    // source: the input's name in problems ("night.jsonl", "-").
    Record_reader(QIODevice &device, const QString &source, Record_problems &problems);
    ~Record_reader();
    Record_reader(const Record_reader &) = delete;
    Record_reader &operator=(const Record_reader &) = delete;

    // The next usable line; false at the end of the input.
    bool next(Record_entry *entry);
    // The line the last entry came from, 1-based.
    qint64 line_number() const { return line; }
    const QString &source() const { return name; }

private:
    struct Block;
    class Helpers;

    bool take_from_current(Record_entry *entry);
    void note_until(qint64 block_line);
    bool next_block();
    void read_ahead();
    std::unique_ptr<Block> read_block();
    bool read_into(Block &block);
    void finish();

    QIODevice &device;
    const QString name;
    Record_problems &problems;
    std::vector<char> carried; // the start of a line the last block could not hold
    bool exhausted = false;    // the device has nothing more
    bool discarding = false;   // inside an overlong line, up to its newline
    bool finished = false;
    qint64 line = 0;
    qint64 lines_before = 0; // in the blocks taken before the current one
    qint64 record_lines = 0; // lines with a time and an event, known or not
    qint64 blocks_taken = 0;
    std::unique_ptr<Block> current;
    std::size_t next_entry = 0;
    std::size_t next_note = 0;
    std::deque<std::unique_ptr<Block>> ahead;
    std::vector<std::unique_ptr<Block>> spare;
    std::unique_ptr<Helpers> helpers; // none while the input fits in one block
    Record_line parser;               // for the blocks parsed on the caller's thread
};

#endif
