#include "support/session_line_test.h"

#include "support/quick_timing.h"

#include <QtTest/QtTest>

void Session_line_test::init()
{
    QVERIFY2(unit.open(), qPrintable(unit.error_string()));
    session = std::make_unique<Session>(quick_timing);
    QVERIFY(session->open_port({unit.slave_path(), Port_settings::default_baud_rate}));
}

void Session_line_test::cleanup()
{
    session.reset(); // lets go of the line first
    unit.close();
}
