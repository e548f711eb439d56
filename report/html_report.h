#ifndef VELMAR_REPORT_HTML_REPORT_H
#define VELMAR_REPORT_HTML_REPORT_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

class Chart_library;
struct Report;

// The report as one self-contained page: the summary's tables, then
// zoomable time charts drawn by the inlined chart library. It fetches
// nothing (its content security policy forbids it), so it opens offline in
// any current browser and can be attached to a ticket as it is. Times read
// in UTC, as in the record.
class Html_report
{
public:
    static QByteArray write(const Report &report, const Chart_library &library);

    // & < > " ' as entities.
    static QString escaped(const QString &text);
};

#endif
