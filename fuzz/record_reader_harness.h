#ifndef VELMAR_FUZZ_RECORD_READER_HARNESS_H
#define VELMAR_FUZZ_RECORD_READER_HARNESS_H

#include "record/record_line.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

// Reads arbitrary bytes as a JSON record, line by line, through the one
// reader of records, and holds every entry it takes to the promise the
// record makes: written again by the record's own writer, the line reads
// back as the same entry. Shared by the fuzzer and the test that replays its
// corpus, so both run the same code.
class Record_reader_harness
{
public:
    // Runs one input; the first broken promise, or empty.
    QString run(const QByteArray &input);
    // The entries the last run took.
    int entries() const { return taken; }

private:
    int taken = 0;
    Record_line line; // reads the lines written again
};

#endif
