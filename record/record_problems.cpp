#include "record/record_problems.h"

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

qint64 Record_problems::lines_left_out() const
{
    qint64 lines = 0;
    for (const Problem &problem : problems) {
        // An unknown field is ignored, its line kept.
        if (problem.kind != Kind::unknown_field && problem.kind != Kind::cannot_read &&
            problem.kind != Kind::empty)
            lines += problem.count;
    }
    return lines;
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
    case Kind::empty:
        what = tr("empty: no record in it");
        break;
    case Kind::truncated_last_line:
        what = tr("the last line is cut off (the writer stopped in the middle of it); left out");
        break;
    case Kind::not_json:
        what = tr("not JSON; left out");
        break;
    case Kind::unknown_event:
        what =
            tr("unknown event \"%1\" (from a newer writer?); left out").arg(problem.first_detail);
        break;
    case Kind::unknown_field:
        what = tr("unknown field \"%1\" (from a newer writer?); ignored").arg(problem.first_detail);
        break;
    case Kind::bad_value:
        what = tr("not a record line: %1; left out").arg(problem.first_detail);
        break;
    case Kind::time_backwards:
        what = tr("time goes backwards: %1; left out").arg(problem.first_detail);
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
