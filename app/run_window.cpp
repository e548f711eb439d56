#include "app/run_window.h"

#include "app/display_fit.h"
#include "app/mainwindow.h"
#include "app/window_command_line.h"
#include "console/exit_code.h"
#include "record/json_record_format.h"
#include "record/recorder.h"
#include "session/session.h"

#include <QtCore/QFile>
#include <QtWidgets/QApplication>

#include <cstdio>
#include <memory>

int run_window(const Window_command_line &line,
               const std::function<void(Session &, MainWindow &)> &observe)
{
    Session session;
    QFile record_file(line.record_path);
    const Json_record_format record_format;
    std::unique_ptr<Recorder> recorder;
    if (!line.record_path.isEmpty()) {
        if (!record_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            const QString error = QCoreApplication::translate("main", "%1: cannot record to %2: %3")
                                      .arg(QCoreApplication::applicationName(), line.record_path,
                                           record_file.errorString());
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return exit_output_failed;
        }
        recorder = std::make_unique<Recorder>(session, record_format, record_file,
                                              Recorder::Policy::changes_per_connection);
    }
    Display_fit::choose_style_and_font();
    MainWindow window(session, line.start_port);
    if (observe)
        observe(session, window);
    window.show();
    return QApplication::exec();
}
