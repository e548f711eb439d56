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
        empty,               // no line in it
        truncated_last_line, // its last line is cut off (a crash, a pulled plug)
        not_json,            // a line that is not JSON
        unknown_event,       // an event this reader does not know (a newer writer)
        unknown_field,       // a field this reader does not know (a newer writer)
        bad_value,           // JSON, but not a record line: a field missing or of the wrong type
        time_backwards,      // a line earlier than the one before it
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

    const std::vector<Problem> &all() const { return problems; }
    bool any(Kind kind) const;
    bool empty() const { return problems.empty(); }
    qint64 lines_left_out() const;

    // One line per problem, for standard error: "FILE:LINE: what; so what".
    QStringList lines() const;
    static QString line(const Problem &problem);

private:
    std::vector<Problem> problems;
};

#endif
