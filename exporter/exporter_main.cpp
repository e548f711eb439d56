// velmar-exporter: the units on a machine's serial lines as Prometheus
// metrics. See `velmar-exporter --help` and docs/metrics.md.

#include "console/console_output.h"
#include "console/exit_code.h"
#include "exporter/exporter.h"
#include "exporter/exporter_options.h"
#include "exporter/metrics_server.h"
#include "exporter/metrics_snapshot.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QLoggingCategory>

#ifdef Q_OS_UNIX
#include "console/signal_watcher.h"
#endif

namespace {

QByteArray index_page()
{
    return QByteArrayLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
                             "<title>velmar-exporter</title></head>\n<body><h1>velmar-exporter ") +
           QCoreApplication::applicationVersion().toUtf8() +
           QByteArrayLiteral("</h1>\n<p>The Velmar units on this machine's serial lines, "
                             "as Prometheus metrics: <a href=\"/metrics\">/metrics</a>.</p>\n"
                             "</body></html>\n");
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_UNIX
    // A log that cannot be written (a file at its size limit, a closed pipe)
    // loses lines; it must not end the service.
    Signal_watcher::survive_failed_writes();
#endif
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmar-exporter"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMAR_VERSION));
    // The session's debug lines (a bad CRC, a lost port) are counters here,
    // or lines this program words itself.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    const Exporter_options options = Exporter_options::parse(QCoreApplication::arguments());
    switch (options.outcome) {
    case Exporter_options::Outcome::help:
    case Exporter_options::Outcome::version:
        return Console_output::data(options.text) ? exit_done : exit_output_failed;
    case Exporter_options::Outcome::error:
        Console_output::error(options.text);
        return options.exit_code;
    case Exporter_options::Outcome::run:
        break;
    }

#ifdef Q_OS_UNIX
    // Stopping the service is its normal end. Watched from before the first
    // line of its log: a log that stalls (a journal that stopped reading)
    // then gives up that line on the signal, and the loop ends the service.
    Signal_watcher signals_in;
    QObject::connect(&signals_in, &Signal_watcher::terminate_requested, &application,
                     [] { QCoreApplication::exit(exit_done); });
#endif
    for (const QString &warning : options.warnings)
        Console_output::error(QStringLiteral("velmar-exporter: ") + warning);
    Metrics_snapshot snapshot;
    Exporter exporter(options.ports, options.baud_rate, snapshot);
    exporter.start();
    Metrics_server server(snapshot, index_page(), options.web);
    if (!server.start(options.listen)) {
        Console_output::error(
            QCoreApplication::translate("main", "velmar-exporter: cannot listen on %1: %2")
                .arg(options.listen.text(), server.error()));
        return server.tls_failed() ? exit_bad_arguments : exit_listen_failed;
    }
    Console_output::error(
        QCoreApplication::translate("main", "velmar-exporter: serving %1://%2/metrics%3")
            .arg(options.web.tls ? QStringLiteral("https") : QStringLiteral("http"),
                 options.listen.text(),
                 options.web.users.empty()
                     ? QString()
                     : QCoreApplication::translate("main", ", with a password")));
    return QCoreApplication::exec();
}
