#ifndef VELMAR_TESTS_WINDOW_UNDER_TEST_H
#define VELMAR_TESTS_WINDOW_UNDER_TEST_H

#include "support/main_window_probe.h"
#include "support/pty_window.h"

#include <QtCore/QMap>
#include <QtCore/QPair>
#include <QtCore/QString>
#include <QtTest/QSignalSpy>

#include <memory>

class QLabel;

// A fresh main window over an isolated, emptied settings store. It opens the
// given port (none: no port at all) and, unless live, its watchdog is stopped
// so that ticks are driven by hand.
class Window_under_test
{
public:
    explicit Window_under_test(const QString &port = QString(), bool live = false);

    Ui::MainWindow &ui() { return probe.ui(); }
    QLabel *label(const QString &name) const;
    // One watchdog tick after the receiver has read this chunk.
    void tick(const QByteArray &chunk = QByteArray());

private:
    const std::unique_ptr<Probed_window> made; // declared first: the references point into it

public:
    MainWindow &window;
    Main_window_probe &probe;
    QSignalSpy announced; // new_connection_is_set
};

using Shown = QPair<QString, QString>; // a label's text and style sheet

Shown shown(const QLabel *label);
QMap<QString, Shown> every_label(const QWidget &window);

#endif
