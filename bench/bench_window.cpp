#include "bench_window.h"

#include "app/mainwindow.h"
#include "protocol/frame.h"
#include "session/session.h"
#include "support/test_settings.h"

#include <QtCore/QCoreApplication>
#include <QtWidgets/QLabel>

Bench_window::Bench_window(const Start_port &start_port) : link(std::make_unique<Session>())
{
    isolate_settings();
    clear_saved_settings();
    select_no_port();
    main_window = std::make_unique<MainWindow>(*link, start_port);
    main_window->show();
    settle();
    // Objects the toolkit let go of while the window was built wait for an
    // event loop to delete them, and until then every look at the posted
    // events wakes the event dispatcher with a write of its own; the tool's
    // loop deletes them at once.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

Bench_window::~Bench_window() = default;

QString Bench_window::label_text(const QString &name) const
{
    const auto *label = main_window->findChild<QLabel *>(name);
    return label != nullptr ? label->text() : QString();
}

void Bench_window::feed(const QByteArray &chunk)
{
    link->receive(chunk);
}

void Bench_window::resync()
{
    static const QByteArray zeros(static_cast<int>(frame::max_frame), '\0');
    feed(zeros);
}

void Bench_window::settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void Bench_window::use_offscreen_platform()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}
