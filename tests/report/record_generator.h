#ifndef VELMAR_TESTS_RECORD_GENERATOR_H
#define VELMAR_TESTS_RECORD_GENERATOR_H

#include "protocol/unit_status.h"
#include "report/report.h"
#include "report/verdict.h"

#include <QtCore/QByteArray>

#include <rapidcheck.h>

#include <vector>

// What a generated record may hold besides healthy statuses.
struct Record_shape
{
    // Faults, unlocked rows, powers below the threshold, links down or not
    // valid, Dante trouble or none, units below 2.0.
    bool conditions = true;
    // Silences (some of damaged frames), lost ports, damaged frames.
    bool link_events = true;
    // Once in the record, the clock steps back an hour or on 30 days.
    bool clock_step = false;
    int runs_at_least = 1; // up to 3
};

// A JSON record as velmar-ctl watch writes it, one or more runs of it, and
// what it holds, told apart from the report's own reading of it.
struct Generated_record
{
    QByteArray text;
    // Every status line, in the order written: the statuses as read back.
    std::vector<Unit_status> statuses;
    bool changes_only = false;
    bool silence = false;   // a silent line while the port was open
    bool port_lost = false; // a port_lost line
    bool crc = false;       // a crc_mismatch line
    // Where each run but the first begins in text: its start line.
    std::vector<int> run_offsets;
};

// Records of 1 to 3 runs of up to some 30 lines each, the times in the
// writer's order: statuses sharing a millisecond, silences from the last
// status as the watchdog times them, connected after them, lost ports and
// reopens, damaged frames, and --changes records that write a status only
// when its line would read differently.
rc::Gen<Generated_record> generated_record(Record_shape shape);

// Records, named part1.jsonl, part2.jsonl..., read as one timeline and
// reported, judged by these checks.
Report report_of(const std::vector<QByteArray> &records,
                 const std::vector<Verdict::Check> &checks = {});

#endif
