#ifndef VELMAR_TESTS_DEBUG_LINES_H
#define VELMAR_TESTS_DEBUG_LINES_H

#include <QtCore/QRegularExpression>
#include <QtCore/QtGlobal>

// Counts the lines the process writes to the debug stream while it lives,
// passing each on to the handler before it (the test log). One at a time.
class Debug_lines
{
public:
    Debug_lines();
    ~Debug_lines();
    Debug_lines(const Debug_lines &) = delete;
    Debug_lines &operator=(const Debug_lines &) = delete;

    int count(const QRegularExpression &pattern) const;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QtMessageHandler previous;
};

#endif
