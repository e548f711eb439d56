#ifndef VELMAR_REPORT_JSON_REPORT_H
#define VELMAR_REPORT_JSON_REPORT_H

#include <QtCore/QByteArray>

struct Report;

// The report as one JSON object for scripts: every number of the summary,
// times in ISO 8601 UTC, durations both as ISO 8601 durations and in seconds.
// docs/report.md describes it.
class Json_report
{
public:
    static constexpr int format_version = 1;

    static QByteArray write(const Report &report);
};

#endif
