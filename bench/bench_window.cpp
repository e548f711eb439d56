#include "bench_window.h"

#include "app/mainwindow.h"
#include "link/frame.h"
#include "support/main_window_probe.h"
#include "support/test_settings.h"

#include <QtCore/QCoreApplication>

Bench_window::Bench_window()
{
    isolate_settings();
    main_window = std::make_unique<MainWindow>();
    window_probe = std::make_unique<Main_window_probe>(*main_window);
    main_window->show();
    settle();
}

Bench_window::~Bench_window() = default;

void Bench_window::isolate_settings()
{
    ::isolate_settings();
    clear_saved_settings();
    select_no_port();
}

void Bench_window::feed(const QByteArray &chunk)
{
    window_probe->feed(chunk);
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
