#ifndef VELMAR_REPORT_REPORT_H
#define VELMAR_REPORT_REPORT_H

#include "report/report_summary.h"
#include "report/verdict.h"

#include <QtCore/QStringList>

// Everything a report shows, whichever its format.
struct Report
{
    QStringList inputs;        // as named on the command line
    QStringList problems;      // the reader's, one line per kind and input
    qint64 lines_left_out = 0; // lines that could not be used
    Report_summary summary;
    Report_charts charts;
    Verdict verdict;
};

#endif
