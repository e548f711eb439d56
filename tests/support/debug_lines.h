#ifndef VELMAR_TESTS_DEBUG_LINES_H
#define VELMAR_TESTS_DEBUG_LINES_H

#include <QtCore/QStringList>
#include <QtCore/QtGlobal>

// Takes every debug line written while it lives, so that a test
// can compare them whole: QTest::ignoreMessage cannot tell a line too many.
class Debug_lines
{
public:
    Debug_lines();
    ~Debug_lines();
    Debug_lines(const Debug_lines &) = delete;
    Debug_lines &operator=(const Debug_lines &) = delete;

    // Taken since construction or the last call.
    QStringList take();

private:
    QtMessageHandler previous;
};

#endif
