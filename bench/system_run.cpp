#include "system_run.h"

#include "bench_window.h"

#include "session/session.h"
#include "support/process_cpu.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QProcess>
#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>
#include <QtCore/QTimer>


#include <utility>

namespace {

constexpr int start_timeout_ms = 5000;
constexpr int stop_timeout_ms = 3000;
constexpr int settle_ms = 500;
constexpr int drain_quiet_ms = 300;
constexpr int drain_grace_ms = 5000;
constexpr int ms_per_s = 1000;
const QString port_ok_text = QStringLiteral("Ok");
// All three cages filled: the longest status frame, 43 bytes.
const QString third_cage = QStringLiteral("sfp_eth.type video");
// Stops the frames but keeps the line open while the tool reads what is on it.
const QString hold = QStringLiteral("silence 3600000");
const QByteArray hold_line = hold.toLatin1() + '\n';
const QByteArray resume_line = "silence 0\n";

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

System_run::System_run(QString simulator_program) : simulator_program(std::move(simulator_program))
{
}

System_run::Result System_run::run(int rate, int seconds)
{
    Result result;
    result.rate_asked = rate;
    const QString rate_text = rate > 0 ? QString::number(rate) : QStringLiteral("max");
    result.source = QStringLiteral("velmar-unit-sim --rate ") + rate_text;
    QProcess unit;
    // The unit holds its frames until the tool, started on its terminal, has
    // the port open: building a window takes longer than the simulator keeps
    // what nobody reads.
    const QString path = start_unit(unit,
                                    {QStringLiteral("--rate"), rate_text, QStringLiteral("--set"),
                                     third_cage, QStringLiteral("--set"), hold},
                                    result);
    if (path.isEmpty())
        return result;
    decoded = 0;
    Bench_window bench(Start_port{path, 0});
    QObject::connect(&bench.session(), &Session::status_received, &bench.session(),
                     [this]() { ++decoded; });
    if (bench.label_text(QStringLiteral("label_SerialPort_Ok")) != port_ok_text) {
        result.error = QStringLiteral("the window could not open ") + path;
        stop_unit(unit);
        return result;
    }
    unit.write(resume_line);
    run_event_loop(settle_ms);

    const int64_t decoded_before = decoded;
    const Stopwatch stopwatch;
    run_event_loop(seconds * ms_per_s);
    result.seconds = stopwatch.seconds();
    result.cpu_share = stopwatch.cpu_share();
    result.decoded_per_second = static_cast<double>(decoded - decoded_before) / result.seconds;

    // The simulator counts from its start, so compare its count with
    // everything decoded since the port opened, once the line has drained.
    unit.write(hold_line);
    wait_for_drain();
    result.decoded = decoded;
    stop_unit(unit);
    static const QRegularExpression summary(QStringLiteral("status frames sent: (\\d+)"));
    const QRegularExpressionMatch match =
        summary.match(QString::fromUtf8(unit.readAllStandardOutput()));
    result.ok = match.hasMatch();
    if (result.ok)
        result.sent = match.captured(1).toLongLong();
    else
        result.error = QStringLiteral("no summary from the simulator");
    return result;
}

QString System_run::start_unit(QProcess &unit, const QStringList &arguments, Result &result)
{
    unit.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    unit.start(simulator_program, arguments);
    if (!unit.waitForStarted(start_timeout_ms)) {
        result.error = QStringLiteral("cannot start ") + simulator_program;
        return QString();
    }
    while (!unit.canReadLine()) {
        if (!unit.waitForReadyRead(start_timeout_ms)) {
            result.error = simulator_program + QStringLiteral(" printed no terminal path");
            stop_unit(unit);
            return QString();
        }
    }
    return QString::fromUtf8(unit.readLine()).trimmed();
}

void System_run::wait_for_drain()
{
    QElapsedTimer waited;
    waited.start();
    int64_t before = -1;
    while (decoded != before && !waited.hasExpired(drain_grace_ms)) {
        before = decoded;
        run_event_loop(drain_quiet_ms);
    }
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
