#ifndef VELMAR_RECORD_RECORD_PROBLEMS_H
#define VELMAR_RECORD_RECORD_PROBLEMS_H

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QtGlobal>

#include <vector>

// What was wrong with the records read, gathered so that each kind of fault
// in each input is told once, at its first line, with how many more lines
// had it: a record of a million lines cut by a crash gives one line, not a
// million.
class Record_problems
{
    Q_DECLARE_TR_FUNCTIONS(Record_problems)

public:
    enum class Kind
    {
        cannot_read,         // the input cannot be opened or read at all
        not_a_record,        // no line of it is a record line (a CSV, a README, empty)
        truncated_last_line, // its last line is cut off (a crash, a pulled plug)
        cut_off_line,        // a line cut off by a crash, the next run's first line after it
        not_json,            // a line that is not JSON
        not_record_line,     // JSON, but without a time or an event
        unknown_event,       // an event this reader does not know (a newer writer)
        unknown_field,       // a field this reader does not know (a newer writer)
        bad_value,  // a record line with a field missing, of the wrong type or out of range
        clock_step, // the writer's clock stepped between two lines
        overlap,    // records that overlap in time: not one unit's timeline
    };

    struct Problem
    {
        QString source; // the input's name as given
        Kind kind;
        qint64 first_line; // 1-based; 0 when about the whole input
        QString first_detail;
        qint64 count;
    };

    // line: 1-based, or 0 for the input as a whole.
    void note(const QString &source, Kind kind, qint64 line, const QString &detail = QString());

    // Drops what was noted of a source: its lines do not matter once it
    // turns out not to be a record at all.
    void forget(const QString &source);

    const std::vector<Problem> &all() const { return problems; }
    bool any(Kind kind) const;
    bool any(const QString &source, Kind kind) const;
    bool empty() const { return problems.empty(); }
    qint64 lines_left_out() const;
    // Whether what was read cannot be judged as a whole: an input missing
    // or not a record, records that overlap, or lines left out that the
    // writer never leaves (not JSON, a value it cannot take). A line cut
    // off by a crash and an event of a newer writer are not among them:
    // they are named, and the rest is the whole record.
    bool leaves_verdict_open() const;

    // One line per problem, for standard error: "FILE:LINE: what; so what".
    QStringList lines() const;
    static QString line(const Problem &problem);

private:
    std::vector<Problem> problems;
};

#endif
