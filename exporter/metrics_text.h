#ifndef VELMAR_EXPORTER_METRICS_TEXT_H
#define VELMAR_EXPORTER_METRICS_TEXT_H

#include "exporter/unit_reading.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <vector>

// How many ports a line of the configuration matches now.
struct Pattern_count
{
    QString pattern;
    int matches = 0;

    bool operator==(const Pattern_count &other) const
    {
        return pattern == other.pattern && matches == other.matches;
    }
    bool operator!=(const Pattern_count &other) const { return !(*this == other); }
};

// The readings of every watched port in the Prometheus text exposition
// format (version 0.0.4): metric by metric, each with its HELP and TYPE
// lines, and under each the samples of every port that has one.
//
// A value the unit did not report is left out rather than written as 0: an
// empty cage's temperature, the power of the other direction, the Dante block
// below 2.0. What counts as not reported is what the record writes as null,
// so a record and a scrape of the same status never disagree about it.
class Metrics_text
{
public:
    static constexpr const char *content_type = "text/plain; version=0.0.4; charset=utf-8";

    static QByteArray render(const std::vector<Unit_reading> &readings,
                             const std::vector<Pattern_count> &patterns = {});
    // A label value with backslash, double quote and line feed escaped.
    static QByteArray label_value(const QString &text);
};

#endif
