#ifndef VELMAR_REPORT_TEXT_REPORT_H
#define VELMAR_REPORT_TEXT_REPORT_H

#include <QtCore/QByteArray>

struct Report;

// The report as plain text for a terminal or a ticket: sections, with
// tables in aligned columns.
class Text_report
{
public:
    static QByteArray write(const Report &report);
};

#endif
