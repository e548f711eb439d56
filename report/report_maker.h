#ifndef VELMAR_REPORT_REPORT_MAKER_H
#define VELMAR_REPORT_REPORT_MAKER_H

#include "report/report.h"
#include "report/verdict.h"

#include <QtCore/QStringList>

#include <optional>
#include <vector>

class Record_problems;
class Record_timeline;

// Reads a timeline of records through and judges it: the whole report, in
// values, before any format is written.
class Report_maker
{
public:
    // given_threshold_dbm: judges the Rx powers of statuses that report no
    // threshold (Summary_builder).
    static Report make(Record_timeline &timeline, const Record_problems &problems,
                       const QStringList &inputs, const std::vector<Verdict::Check> &checks,
                       std::optional<int> given_threshold_dbm = std::nullopt);
};

#endif
