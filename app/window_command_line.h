#ifndef VELMAR_APP_WINDOW_COMMAND_LINE_H
#define VELMAR_APP_WINDOW_COMMAND_LINE_H

#include "app/start_port.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QStringList>

// The window's command line: a port to open at start and a file to record
// to. Qt's own options (-platform, -style, ...) are taken by the application
// object before this sees the arguments.
class Window_command_line
{
    Q_DECLARE_TR_FUNCTIONS(Window_command_line)

public:
    enum class Outcome
    {
        run,
        help,    // text holds it, for stdout
        version, // text holds it, for stdout
        error,   // text holds the one line, for stderr
    };

    Outcome outcome = Outcome::run;
    QString text;
    Start_port start_port;
    QString record_path;

    // Whether the arguments only ask for help or the version, which needs no
    // display: checked before the application object exists.
    static bool asks_for_text(const QStringList &arguments);
    static Window_command_line parse(const QStringList &arguments);
};

#endif
