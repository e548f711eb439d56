#ifndef VELMAR_CTL_REPORT_OUTPUT_H
#define VELMAR_CTL_REPORT_OUTPUT_H

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>
#include <QtCore/QString>

// Where velmar-ctl report puts what it made: standard output, or -o FILE.
// A regular file (or a new one) is replaced whole or left as it was, through
// a copy renamed over it; anything else the path names (a FIFO, a terminal,
// /dev/stdout) is written in place, since a copy renamed over it would
// replace the device instead of writing to it. No write waits past Ctrl-C or
// SIGTERM (Whole_write).
class Report_output
{
    Q_DECLARE_TR_FUNCTIONS(Report_output)

public:
    enum class Outcome
    {
        written,
        failed,  // *error holds the line for standard error
        stopped, // a stop came while the output took nothing more
    };

    // path: empty for standard output.
    static Outcome write(const QString &path, const QByteArray &text, QString *error);

private:
    static Outcome to_descriptor(int fd, const QByteArray &text, int *error_number);
    static Outcome to_device(const QString &path, const QByteArray &text, QString *error);
};

#endif
