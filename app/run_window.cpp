#include "app/run_window.h"

#include "app/display_fit.h"
#include "app/mainwindow.h"
#include "app/window_command_line.h"
#include "app/window_record.h"
#include "console/console_output.h"
#include "console/exit_code.h"
#include "session/session.h"

#include <QtWidgets/QApplication>

int run_window(const Window_command_line &line,
               const std::function<void(Session &, MainWindow &)> &observe)
{
    Session session;
    Window_record record(session, line.record_path);
    if (!line.record_path.isEmpty() && !record.open()) {
        Console_output::error(
            QCoreApplication::translate("main", "%1: cannot record to %2: %3")
                .arg(QCoreApplication::applicationName(), line.record_path, record.error()));
        return exit_output_failed;
    }
    Display_fit::choose_style_and_font();
    MainWindow window(session, line.start_port);
    QObject::connect(&record, &Window_record::stopped, &window, &MainWindow::show_record_stopped);
    // The window opened its start port as it was made, and the record wrote
    // its start line then: a file that refused that line (a full disk,
    // /dev/full) is told now. Stderr was told as it happened.
    if (!record.failure().isEmpty())
        window.show_record_stopped(record.path(), record.failure());
    if (observe)
        observe(session, window);
    window.show();
    const int exit_code = QApplication::exec();
    record.close();
    return exit_code;
}
