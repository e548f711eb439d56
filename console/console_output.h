#ifndef VELMAR_CONSOLE_CONSOLE_OUTPUT_H
#define VELMAR_CONSOLE_CONSOLE_OUTPUT_H

#include <QtCore/QString>

// Data on standard output, errors on standard error, one line at a time and
// flushed, so a script reading a pipe sees each line as it is written.
class Console_output
{
public:
    static bool data(const QString &line);
    static void error(const QString &line);
};

#endif
