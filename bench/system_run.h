#ifndef VELMAR_BENCH_SYSTEM_RUN_H
#define VELMAR_BENCH_SYSTEM_RUN_H

#include "line_pacer.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <cstdint>

class Bench_window;
class QProcess;

// One run of the system benchmark: a simulated unit in another process sends
// status frames into a pseudo-terminal, the tool's real window in this
// process reads them through its serial channel, and the run counts the
// frames decoded against the frames sent and charges this process's CPU time
// to the tool.
class System_run
{
public:
    struct Result
    {
        QString source;
        int rate_asked = 0; // 0: as fast as the line takes them
        Line_pacer::Values values = Line_pacer::Values::drifting;
        int64_t sent = 0;
        int64_t decoded = 0; // over the same stretch as sent
        double decoded_per_second = 0.0;
        double seconds = 0.0;       // measured: CPU share and decoded_per_second
        double cpu_share = 0.0;     // of one core
        int64_t backlog_bytes = -1; // the most bytes that ever waited for the tool
        bool ok = false;
        QString error;
    };

    System_run(Bench_window &bench, QString own_program, QString simulator_program);

    // The line pacer (this program in its pacing role) at an exact rate.
    Result paced(int rate, int seconds, Line_pacer::Values values);
    // velmar-unit-sim --rate max: the most the tool takes.
    Result flooded(int seconds);

private:
    QString start_unit(QProcess &unit, const QString &program, const QStringList &arguments,
                       Result &result);
    bool open_port(const QString &path);
    void close_port();
    static void stop_unit(QProcess &unit);

    Bench_window &bench;
    const QString own_program;
    const QString simulator_program;
    int64_t decoded = 0;
};

#endif
