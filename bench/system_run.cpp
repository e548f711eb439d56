#include "system_run.h"

#include "bench_window.h"

#include "support/main_window_probe.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QTimer>

#include <sys/resource.h>

#include <utility>

namespace {

constexpr int start_timeout_ms = 5000;
constexpr int stop_timeout_ms = 3000;
constexpr int settle_ms = 500;
constexpr int drain_grace_ms = 5000;
constexpr int ms_per_s = 1000;
const QString port_ok_text = QStringLiteral("Ok");

double process_cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void run_event_loop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Wall time and this process's CPU time over one stretch of the run.
class Stopwatch
{
public:
    Stopwatch() : cpu_start(process_cpu_seconds()) { wall.start(); }
    double seconds() const { return static_cast<double>(wall.nsecsElapsed()) / 1e9; }
    double cpu_share() const { return (process_cpu_seconds() - cpu_start) / seconds(); }

private:
    QElapsedTimer wall;
    double cpu_start;
};

} // namespace

System_run::System_run(Bench_window &bench, QString own_program, QString simulator_program)
    : bench(bench), own_program(std::move(own_program)),
      simulator_program(std::move(simulator_program))
{
    QObject::connect(&bench.probe().parcer(), &Parcer::update_data_ready, &bench.window(),
                     [this]() { ++decoded; });
}

System_run::Result System_run::paced(int rate, int seconds, Line_pacer::Values values)
{
    Result result;
    result.source = QStringLiteral("line pacer");
    result.rate_asked = rate;
    result.values = values;
    QProcess unit;
    const QString path =
        start_unit(unit, own_program,
                   {QStringLiteral("--pace"), QString::number(rate), QString::number(seconds),
                    QString::fromLatin1(Line_pacer::name(values))},
                   result);
    if (path.isEmpty())
        return result;
    if (!open_port(path)) {
        result.error = QStringLiteral("the window could not open ") + path;
        stop_unit(unit);
        return result;
    }
    run_event_loop(settle_ms);

    static const QRegularExpression report(
        QStringLiteral("^sent (\\d+) in \\d+ ms, backlog (\\d+)"));
    int64_t expected = -1;
    QEventLoop loop;
    const auto all_decoded = [&]() { return expected >= 0 && decoded >= expected; };
    QObject::connect(&bench.probe().parcer(), &Parcer::update_data_ready, &loop, [&]() {
        if (all_decoded())
            loop.quit();
    });
    QObject::connect(&unit, &QProcess::readyReadStandardOutput, &loop, [&]() {
        while (unit.canReadLine()) {
            const QRegularExpressionMatch match = report.match(QString::fromUtf8(unit.readLine()));
            if (!match.hasMatch())
                continue;
            expected = match.captured(1).toLongLong();
            result.backlog_bytes = match.captured(2).toLongLong();
        }
        if (all_decoded())
            loop.quit();
    });
    QTimer::singleShot(seconds * ms_per_s + drain_grace_ms, &loop, &QEventLoop::quit);

    decoded = 0;
    const Stopwatch stopwatch;
    unit.write("go\n");
    loop.exec();
    result.seconds = stopwatch.seconds();
    result.cpu_share = stopwatch.cpu_share();
    result.decoded = decoded;
    result.decoded_per_second = decoded / result.seconds;
    result.sent = expected;
    result.ok = expected >= 0;
    if (!result.ok)
        result.error = QStringLiteral("the pacer did not finish");

    close_port();
    stop_unit(unit);
    return result;
}

System_run::Result System_run::flooded(int seconds)
{
    Result result;
    result.source = QStringLiteral("velmar-unit-sim --rate max");
    QProcess unit;
    const QString path = start_unit(unit, simulator_program,
                                    {QStringLiteral("--rate"), QStringLiteral("max"),
                                     QStringLiteral("--set"), QStringLiteral("sfp_eth.type video")},
                                    result);
    if (path.isEmpty())
        return result;
    decoded = 0;
    if (!open_port(path)) {
        result.error = QStringLiteral("the window could not open ") + path;
        stop_unit(unit);
        return result;
    }
    run_event_loop(settle_ms);

    const int64_t decoded_before = decoded;
    const Stopwatch stopwatch;
    run_event_loop(seconds * ms_per_s);
    result.seconds = stopwatch.seconds();
    result.cpu_share = stopwatch.cpu_share();
    result.decoded_per_second = (decoded - decoded_before) / result.seconds;

    // Sent is counted from the start of the simulator, so compare it with
    // everything decoded since the port opened, once the line has drained.
    stop_unit(unit);
    run_event_loop(settle_ms);
    static const QRegularExpression summary(QStringLiteral("status frames sent: (\\d+)"));
    const QRegularExpressionMatch match =
        summary.match(QString::fromUtf8(unit.readAllStandardOutput()));
    result.ok = match.hasMatch();
    if (result.ok)
        result.sent = match.captured(1).toLongLong();
    else
        result.error = QStringLiteral("no summary from the simulator");
    result.decoded = decoded;
    close_port();
    return result;
}

QString System_run::start_unit(QProcess &unit, const QString &program, const QStringList &arguments,
                               Result &result)
{
    unit.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    unit.start(program, arguments);
    if (!unit.waitForStarted(start_timeout_ms)) {
        result.error = QStringLiteral("cannot start ") + program;
        return QString();
    }
    while (!unit.canReadLine()) {
        if (!unit.waitForReadyRead(start_timeout_ms)) {
            result.error = program + QStringLiteral(" printed no terminal path");
            stop_unit(unit);
            return QString();
        }
    }
    return QString::fromUtf8(unit.readLine()).trimmed();
}

bool System_run::open_port(const QString &path)
{
    Ui::MainWindow &ui = bench.probe().ui();
    ui.comboBox_SerialPort->addItem(path);
    ui.comboBox_SerialPort->setCurrentIndex(ui.comboBox_SerialPort->count() - 1);
    return ui.label_SerialPort_Ok->text() == port_ok_text;
}

void System_run::close_port()
{
    Ui::MainWindow &ui = bench.probe().ui();
    const int index = ui.comboBox_SerialPort->currentIndex();
    ui.comboBox_SerialPort->setCurrentIndex(-1);
    ui.comboBox_SerialPort->removeItem(index);
}

void System_run::stop_unit(QProcess &unit)
{
    if (unit.state() == QProcess::NotRunning)
        return;
    unit.closeWriteChannel();
    unit.terminate();
    if (!unit.waitForFinished(stop_timeout_ms)) {
        unit.kill();
        unit.waitForFinished(stop_timeout_ms);
    }
}
