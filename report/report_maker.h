#ifndef VELMAR_REPORT_REPORT_MAKER_H
#define VELMAR_REPORT_REPORT_MAKER_H

#include "report/report.h"
#include "report/verdict.h"

#include <QtCore/QStringList>

#include <vector>

class Record_problems;
class Record_timeline;

// Reads a timeline of records through and judges it: the whole report, in
// values, before any format is written.
class Report_maker
{
public:
    static Report make(Record_timeline &timeline, const Record_problems &problems,
                       const QStringList &inputs, const std::vector<Verdict::Check> &checks);
};

#endif
