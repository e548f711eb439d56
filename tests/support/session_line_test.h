#ifndef VELMAR_TESTS_SESSION_LINE_TEST_H
#define VELMAR_TESTS_SESSION_LINE_TEST_H

#include "session/session.h"
#include "simulator/pty_device.h"

#include <QtCore/QObject>

#include <memory>

// A test whose every function gets a fresh session on quick_timing with its
// port open on a pseudo-terminal; the test plays the unit on the master side.
class Session_line_test : public QObject
{
    Q_OBJECT

protected:
    Pty_device unit;
    std::unique_ptr<Session> session;

private Q_SLOTS:
    void init();
    void cleanup();
};

#endif
