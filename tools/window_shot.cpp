// Opens the tool's real window on a given port, lets it run for a while and
// saves a picture of it.

#include "app/display_fit.h"
#include "app/mainwindow.h"
#include "session/session.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QTimer>
#include <QtGui/QPixmap>
#include <QtWidgets/QApplication>

#include <cstdio>

namespace {

constexpr int default_wait_ms = 3500;

} // namespace

int main(int argc, char *argv[])
{
    Display_fit::prepare_scaling();
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the window on PORT and saves a picture of it to OUT."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("port"), QStringLiteral("serial port path"));
    parser.addPositionalArgument(QStringLiteral("out"), QStringLiteral("PNG file to write"));
    const QCommandLineOption wait_option(QStringLiteral("wait"),
                                         QStringLiteral("milliseconds before the picture"),
                                         QStringLiteral("ms"), QString::number(default_wait_ms));
    parser.addOption(wait_option);
    parser.process(application);
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() != 2) {
        std::fprintf(stderr, "velmar-window-shot: expected PORT and OUT\n");
        return 2;
    }
    bool ok = false;
    const int wait_ms = parser.value(wait_option).toInt(&ok);
    if (!ok || wait_ms < 0) {
        std::fprintf(stderr, "velmar-window-shot: --wait takes milliseconds\n");
        return 2;
    }

    Display_fit::choose_style_and_font();
    Session session;
    MainWindow window(session, Start_port{arguments.at(0), 0});
    window.show();
    const QString out = arguments.at(1);
    int status = 0;
    QTimer::singleShot(wait_ms, &window, [&window, &out, &status] {
        if (!window.grab().save(out)) {
            std::fprintf(stderr, "velmar-window-shot: cannot write %s\n", qPrintable(out));
            status = 1;
        }
        window.close();
    });
    const int loop_status = QApplication::exec();
    return status != 0 ? status : loop_status;
}
