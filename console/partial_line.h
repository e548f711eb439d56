#ifndef VELMAR_CONSOLE_PARTIAL_LINE_H
#define VELMAR_CONSOLE_PARTIAL_LINE_H

#include <QtCore/QtGlobal>

// What is left of a line whose write failed halfway (a full disk, a file
// size limit): in a regular file it is cut off again, so that the file ends
// with the last whole line and every reader can trust its last line.
class Partial_line
{
public:
    // written: the bytes of the failed line that reached fd, which are the
    // last ones before its position. Anything but a regular file is left alone.
    static void take_back(int fd, qint64 written);
};

#endif
