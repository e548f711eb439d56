#include "report/report_maker.h"

#include "record/record_problems.h"
#include "record/record_timeline.h"
#include "report/summary_builder.h"

Report Report_maker::make(Record_timeline &timeline, const Record_problems &problems,
                          const QStringList &inputs, const std::vector<Verdict::Check> &checks,
                          std::optional<int> given_threshold_dbm)
{
    Summary_builder builder(given_threshold_dbm);
    timeline.read(
        [&builder](const QString &source) { builder.begin_input(source); },
        [&builder](const Record_entry &entry) { builder.add(entry); },
        [&builder](const Record_timeline::Clock_step &step) { builder.clock_step(step); });
    builder.finish();
    Report report;
    report.inputs = inputs;
    report.summary = builder.summary();
    report.charts = builder.charts();
    report.verdict = Verdict::judge(report.summary, checks);
    report.problems = problems.lines();
    report.lines_left_out = problems.lines_left_out();
    return report;
}
