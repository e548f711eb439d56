// Opens the tool's real window on a given port, lets it run for a while and
// saves a picture of it. Qt does not list pseudo-terminals, so this is how a
// script points the window at the simulated unit.

#include "app/display_fit.h"
#include "app/mainwindow.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QTimer>
#include <QtGui/QPixmap>
#include <QtWidgets/QApplication>
#include <QtWidgets/QComboBox>

#include <cstdio>

namespace {

constexpr int default_wait_ms = 3500;

void select_port(MainWindow &window, const QString &path)
{
    auto *ports = window.findChild<QComboBox *>(QStringLiteral("comboBox_SerialPort"));
    if (!ports)
        return;
    ports->addItem(path);
    ports->setCurrentIndex(ports->count() - 1);
}

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
    MainWindow window;
    window.show();
    select_port(window, arguments.at(0));
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
