#ifndef VELMAR_TESTS_WINDOW_FIXTURE_H
#define VELMAR_TESTS_WINDOW_FIXTURE_H

#include "app/mainwindow.h"
#include "session/session.h"
#include "support/quick_timing.h"

#include <QtCore/QByteArray>
#include <QtCore/QPair>
#include <QtCore/QString>

#include <memory>

class QLabel;

// A session and its window, built and destroyed together, as the tool's
// entry point builds them.
struct Window_fixture
{
    explicit Window_fixture(const Start_port &start_port = {},
                            const Session_timing &timing = quick_timing)
        : session(timing), window(session, start_port)
    {
    }

    Session session;
    MainWindow window;

    QLabel *label(const QString &name) const;
    // The bytes as one read of the port; returns once the window has drawn
    // what they brought.
    void read(const QByteArray &bytes);
    // The bytes as one read, judged at once by the watchdog with no pass of
    // the event loop between: a 2.0 unit is connected. A tick of the session's
    // own timer finds the link up only if bytes came since: read() next.
    void judge(const QByteArray &bytes);
    // Two judgements in a row: whatever frames the first one finds (the
    // session's own timer may have taken them already), the second finds none.
    void fall_silent();
    // A widget the test reaches by name; a name the form lacks ends the test.
    template <typename Widget> Widget *widget(const QString &name) const
    {
        Widget *found = window.findChild<Widget *>(name);
        if (found == nullptr)
            qFatal("the window has no %s named %s", Widget::staticMetaObject.className(),
                   qPrintable(name));
        return found;
    }
};

// A window over an emptied, isolated settings store whose saved port index
// is -1: it opens no serial device of the host until a test selects one.
std::unique_ptr<Window_fixture>
make_window_without_port(const Session_timing &timing = quick_timing);

// Adds the name to the window's port list and selects it, as the operator would.
void select_port(MainWindow &window, const QString &name);

using Shown = QPair<QString, QString>; // a label's text and style sheet

Shown shown(const QLabel *label);

#endif
