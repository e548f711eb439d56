#ifndef VELMAR_CTL_REPORT_COMMAND_H
#define VELMAR_CTL_REPORT_COMMAND_H

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>

class Ctl_options;

// velmar-ctl report: reads the records, tells on standard error what could
// not be used, writes the report in the format asked for, and returns the
// verdict as the exit code.
class Report_command
{
    Q_DECLARE_TR_FUNCTIONS(Report_command)

public:
    explicit Report_command(const Ctl_options &options);

    // Returns the exit code.
    int run();

private:
    // The exit code: done, or why the report did not reach its output.
    int write(const QByteArray &text);

    const Ctl_options &options;
};

#endif
