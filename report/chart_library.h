#ifndef VELMAR_REPORT_CHART_LIBRARY_H
#define VELMAR_REPORT_CHART_LIBRARY_H

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>
#include <QtCore/QString>

// The charting library the page inlines: dygraphs, as the system installs
// it (Debian's libjs-dygraphs), read when a report is made so that the page
// needs nothing from anywhere when it is opened.
class Chart_library
{
    Q_DECLARE_TR_FUNCTIONS(Chart_library)

public:
    // VELMAR_DYGRAPHS_DIR from the environment, or the directory the build was
    // configured with.
    static QString directory();

    // False with the reason when the library cannot be read.
    bool load(const QString &directory, QString *error);

    const QByteArray &script() const { return script_text; }
    const QByteArray &style() const { return style_text; }

private:
    QByteArray script_text;
    QByteArray style_text;
};

#endif
