#ifndef VELMAR_CONSOLE_CONSOLE_OUTPUT_H
#define VELMAR_CONSOLE_CONSOLE_OUTPUT_H

#include <QtCore/QString>

// Data on standard output, errors on standard error, one line at a time and
// unbuffered, so a script reading a pipe sees each line as it is written, and
// a line that cannot be written whole is known at once. Neither waits past a
// stop asked for by SIGINT or SIGTERM (Whole_write).
class Console_output
{
public:
    // False when the line could not be written whole (a closed pipe, a full
    // disk, a stop while the output took nothing); write_error() says why. A
    // regular file is then cut back to its last whole line.
    static bool data(const QString &line);
    // One line, with whatever came from outside it made safe for a terminal
    // (Terminal_text): a record's event name or a device's path cannot act
    // on the screen, nor make one line pass for two. Several lines are
    // several calls.
    static void error(const QString &line);
    // Why the last data line could not be written.
    static QString write_error();
};

#endif
