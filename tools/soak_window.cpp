// The window for bench/soak.sh: the tool as its entry point runs it (through
// run_window), plus what the record cannot tell, since it keeps only the
// statuses that changed: how many messages the session heard, and what the
// window shows. One line at start, every ten seconds and at the end:
//
//   soak pid=N time=T decoded=N crc_mismatch=N short=N port_lost=N reopened=N
//        port="Ok" receiving="Ok" protocol="2.0, Ok"        (on one line)
//
// Takes the tool's command line; SIGTERM or SIGINT ends it as closing the
// window would.

#include "app/display_fit.h"
#include "app/mainwindow.h"
#include "app/run_window.h"
#include "app/window_command_line.h"
#include "console/exit_code.h"
#include "console/signal_watcher.h"
#include "session/session.h"

#include <QtCore/QDateTime>
#include <QtCore/QTimer>
#include <QtWidgets/QApplication>
#include <QtWidgets/QLabel>

#include <cstdio>

namespace {

constexpr int report_interval_ms = 10000;

struct Counts
{
    qint64 decoded = 0;
    qint64 crc_mismatch = 0;
    qint64 short_messages = 0;
    qint64 port_lost = 0;
    qint64 reopened = 0;
};

QByteArray shown(const QWidget &window, const char *label)
{
    const auto *widget = window.findChild<QLabel *>(QLatin1String(label));
    return widget != nullptr ? widget->text().toUtf8() : QByteArray();
}

void report(const Counts &counts, const QWidget &window)
{
    std::printf("soak pid=%lld time=%s decoded=%lld crc_mismatch=%lld short=%lld port_lost=%lld "
                "reopened=%lld port=\"%s\" receiving=\"%s\" protocol=\"%s\"\n",
                QCoreApplication::applicationPid(),
                qPrintable(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)),
                counts.decoded, counts.crc_mismatch, counts.short_messages, counts.port_lost,
                counts.reopened, shown(window, "label_SerialPort_Ok").constData(),
                shown(window, "label_receiving_status").constData(),
                shown(window, "label_protocol_ver").constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("velmar-serial-port"));
    Display_fit::prepare_scaling();
    QApplication application(argc, argv);
    const Window_command_line line = Window_command_line::parse(QApplication::arguments());
    if (line.outcome != Window_command_line::Outcome::run) {
        std::fprintf(stderr, "%s\n", qPrintable(line.text));
        return exit_bad_arguments;
    }
    Counts counts;
    Signal_watcher signals_in;
    QTimer reporter;
    return run_window(line, [&](Session &session, MainWindow &window) {
        QObject::connect(&session, &Session::status_received, &window, [&] { ++counts.decoded; });
        QObject::connect(&session, &Session::crc_mismatch, &window, [&] { ++counts.crc_mismatch; });
        QObject::connect(&session, &Session::short_message, &window,
                         [&] { ++counts.short_messages; });
        QObject::connect(&session, &Session::port_lost, &window, [&] { ++counts.port_lost; });
        QObject::connect(&session, &Session::port_reopened, &window, [&] { ++counts.reopened; });
        const auto print = [&counts, &window] { report(counts, window); };
        QObject::connect(&reporter, &QTimer::timeout, &window, print);
        reporter.start(report_interval_ms);
        QObject::connect(&signals_in, &Signal_watcher::terminate_requested, &window, [print] {
            print();
            QApplication::quit();
        });
        print();
    });
}
