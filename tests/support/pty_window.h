#ifndef VELMAR_TESTS_PTY_WINDOW_H
#define VELMAR_TESTS_PTY_WINDOW_H

#include "support/main_window_probe.h"
#include "tools/pty_device.h"

#include <QtCore/QByteArray>
#include <QtCore/QDeadlineTimer>
#include <QtCore/QRegularExpression>
#include <QtCore/QString>
#include <QtCore/QVariant>
#include <QtTest/QTest>

#include <memory>

// A window and its probe, built and destroyed together.
struct Probed_window
{
    MainWindow window;
    Main_window_probe probe{window};
};

// One saved setting of the tool in the isolated store, e.g. "SerialPort/BaudRate";
// storing an invalid value removes the key.
QVariant saved_setting(const QString &key);
void store_setting(const QString &key, const QVariant &value);

// A window built over an emptied store whose saved port index is -1: it opens
// no serial device of the host until a test selects one.
std::unique_ptr<Probed_window> make_window_without_port();

// Adds the name to the window's port list and selects it, as the operator would.
void select_port(Main_window_probe &probe, const QString &name);

// What the master side receives until `size` bytes are in or the time is up,
// with the event loop running so that the tool's port gets to write. Inline,
// so that only the tests that talk over a pseudo-terminal need its code.
inline QByteArray collect(Pty_device &pty, int size, int timeout_ms = 5000)
{
    QByteArray got;
    QDeadlineTimer deadline(timeout_ms);
    while (got.size() < size && !deadline.hasExpired()) {
        QTest::qWait(5);
        got += pty.read_available(0);
    }
    return got;
}

// The one debug line a port that cannot be opened writes.
QRegularExpression open_failure_line(const QString &name);

// CPU time this process has used so far, user and system.
double process_cpu_seconds();

// The share of one core this process uses while the event loop runs for ms.
double cpu_share_while_waiting(int ms);

#endif
