#ifndef VELMAR_RECORD_RECORD_LINE_H
#define VELMAR_RECORD_RECORD_LINE_H

#include "record/record_entry.h"

#include <QtCore/QString>

#include <cstddef>
#include <memory>

// One line of a JSON record read back into the values its writer was given,
// or refused with the reason. The JSON is parsed by simdjson, which checks
// the whole line (syntax, UTF-8, numbers that overflow); this class then
// checks that every field has its type and a value some unit can send. A
// refused line is never read in part: a number out of range is not a 0.
class Record_line
{
public:
    enum class Outcome
    {
        entry,         // read; unknown_field() names a field it ignored, if any
        unknown_event, // a record line of an event this version does not know
        bad_value,     // a record line (a time and an event) with a field it cannot take
        not_record,    // JSON, but no record line: no time or no event
        not_json,
    };

    // Bytes that must be readable after a line's end (their content does not
    // matter): the parser reads in blocks.
    static constexpr std::size_t padding = 64;
    // Far above any record line (a status is about 1 kB); a longer one is
    // no record's, and the parser's memory stays bounded.
    static constexpr std::size_t max_size = 1 << 20;

    Record_line();
    ~Record_line();
    Record_line(const Record_line &) = delete;
    Record_line &operator=(const Record_line &) = delete;

    // size bytes at data, followed by padding readable bytes; no newline.
    Outcome read(const char *data, std::size_t size, Record_entry *entry);

    // Why the line was refused; the unknown event's name.
    const QString &why() const { return reason; }
    // The dotted path of the first field the entry's line had that this
    // version does not know ("cages.sfp1.serial"); empty if none.
    const QString &unknown_field() const { return unknown; }

private:
    class Mapper;

    struct Parser;
    std::unique_ptr<Parser> parser;
    QString reason;
    QString unknown;
};

#endif
