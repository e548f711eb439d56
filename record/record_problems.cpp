#include "record/record_problems.h"

#include <algorithm>

void Record_problems::note(const QString &source, Kind kind, qint64 line, const QString &detail)
{
    for (Problem &problem : problems) {
        if (problem.source == source && problem.kind == kind) {
            ++problem.count;
            return;
        }
    }
    problems.push_back({source, kind, line, detail, 1});
}

bool Record_problems::any(Kind kind) const
{
    for (const Problem &problem : problems) {
        if (problem.kind == kind)
            return true;
    }
    return false;
}

bool Record_problems::any(const QString &source, Kind kind) const
{
    for (const Problem &problem : problems) {
        if (problem.source == source && problem.kind == kind)
            return true;
    }
    return false;
}

void Record_problems::forget(const QString &source)
{
    problems.erase(
        std::remove_if(problems.begin(), problems.end(),
                       [&source](const Problem &problem) { return problem.source == source; }),
        problems.end());
}

qint64 Record_problems::lines_left_out() const
{
    qint64 lines = 0;
    for (const Problem &problem : problems) {
        switch (problem.kind) {
        case Kind::truncated_last_line:
        case Kind::cut_off_line:
        case Kind::not_json:
        case Kind::not_record_line:
        case Kind::unknown_event:
        case Kind::bad_value:
            lines += problem.count;
            break;
        case Kind::cannot_read:
        case Kind::not_a_record:
        case Kind::unknown_field: // ignored, its line kept
        case Kind::clock_step:    // a gap, its lines kept
        case Kind::overlap:
            break;
        }
    }
    return lines;
}

bool Record_problems::leaves_verdict_open() const
{
    for (const Problem &problem : problems) {
        switch (problem.kind) {
        case Kind::cannot_read:
        case Kind::not_a_record:
        case Kind::not_json:
        case Kind::not_record_line:
        case Kind::bad_value:
        case Kind::overlap:
            return true;
        case Kind::truncated_last_line:
        case Kind::cut_off_line:
        case Kind::unknown_event:
        case Kind::unknown_field:
        case Kind::clock_step:
            break;
        }
    }
    return false;
}

QStringList Record_problems::lines() const
{
    QStringList out;
    for (const Problem &problem : problems)
        out.append(line(problem));
    return out;
}

QString Record_problems::line(const Problem &problem)
{
    QString what;
    switch (problem.kind) {
    case Kind::cannot_read:
        what = tr("cannot be read: %1").arg(problem.first_detail);
        break;
    case Kind::not_a_record:
        what = tr("not a record: no line of it is a JSON record line. The report reads the "
                  "JSON records that `velmar-ctl watch` writes (its default format; not "
                  "--format csv or text) and the window's --record FILE");
        break;
    case Kind::truncated_last_line:
        what = tr("the last line is cut off (the writer stopped in the middle of it); left out");
        break;
    case Kind::cut_off_line:
        what = tr("a line cut off (the writer stopped in the middle of it), the next run "
                  "written on after it; the cut part left out");
        break;
    case Kind::not_json:
        what = problem.first_detail.isEmpty()
                   ? tr("not JSON; left out")
                   : tr("not JSON (%1); left out").arg(problem.first_detail);
        break;
    case Kind::not_record_line:
        what = tr("not a record line: %1; left out").arg(problem.first_detail);
        break;
    case Kind::unknown_event:
        what =
            tr("unknown event \"%1\" (from a newer writer?); left out").arg(problem.first_detail);
        break;
    case Kind::unknown_field:
        what = tr("unknown field \"%1\" (from a newer writer?); ignored").arg(problem.first_detail);
        break;
    case Kind::bad_value:
        what = tr("cannot be read: %1; left out").arg(problem.first_detail);
        break;
    case Kind::clock_step:
        what = tr("the clock steps %1; the data ends at the line before and goes on after it")
                   .arg(problem.first_detail);
        break;
    case Kind::overlap:
        what = problem.first_detail;
        break;
    }
    const QString where = problem.first_line > 0 ? problem.source + QLatin1Char(':') +
                                                       QString::number(problem.first_line)
                                                 : problem.source;
    QString text = where + QStringLiteral(": ") + what;
    const qint64 more = problem.count - 1;
    if (more == 1)
        text += tr(" (and 1 more line like it)");
    else if (more > 1)
        text += tr(" (and %1 more lines like it)").arg(more);
    return text;
}
