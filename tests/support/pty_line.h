#ifndef VELMAR_TESTS_PTY_LINE_H
#define VELMAR_TESTS_PTY_LINE_H

#include "simulator/pty_device.h"

#include <QtCore/QByteArray>
#include <QtCore/QDeadlineTimer>
#include <QtCore/QRegularExpression>
#include <QtCore/QString>
#include <QtCore/QVariant>
#include <QtTest/QTest>

// What the master side receives until `size` bytes are in or the time is up,
// with the event loop running so that the tool's port gets to write.
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

// One saved setting of the tool in the isolated store, e.g. "SerialPort/BaudRate";
// storing an invalid value removes the key.
QVariant saved_setting(const QString &key);
void store_setting(const QString &key, const QVariant &value);

// The one debug line a port that cannot be opened writes.
QRegularExpression open_failure_line(const QString &name);

// The share of one core this process uses while the event loop runs for ms.
double cpu_share_while_waiting(int ms);

// Points link at target, replacing whatever link was there in one step, as
// udev keeps /dev/serial/by-id/... pointing at an adapter.
bool point_link(const QString &link, const QString &target);

// How many of this process's descriptors are open on path (a device a link
// may lead to): whether the tool opened it, beside the pseudo-terminal's own.
int descriptors_on(const QString &path);

#endif
