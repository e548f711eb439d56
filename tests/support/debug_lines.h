#ifndef VELMAR_TESTS_DEBUG_LINES_H
#define VELMAR_TESTS_DEBUG_LINES_H

#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>
#include <QtCore/QtGlobal>

// Takes every line the process writes to the debug stream while it lives, so
// that a test can compare or count them: QTest::ignoreMessage cannot tell a
// line too many. Warnings and worse still reach the test log. One at a time.
class Debug_lines
{
public:
    Debug_lines();
    ~Debug_lines();
    Debug_lines(const Debug_lines &) = delete;
    Debug_lines &operator=(const Debug_lines &) = delete;

    // Taken since construction or the last call.
    QStringList take();
    // Taken and not yet handed out by take() that match.
    int count(const QRegularExpression &pattern) const;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QtMessageHandler previous;
};

#endif
