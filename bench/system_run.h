#ifndef VELMAR_BENCH_SYSTEM_RUN_H
#define VELMAR_BENCH_SYSTEM_RUN_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <cstdint>

class QProcess;

// One run of the system benchmark: velmar-unit-sim in another process sends
// status frames into a pseudo-terminal, a session and the tool's real window
// in this process, started on that terminal, read them through the serial
// channel, and the run counts the statuses decoded against the frames the
// simulator reports sent and charges this process's CPU time to the tool.
class System_run
{
public:
    struct Result
    {
        QString source;
        int rate_asked = 0; // 0: as fast as the line takes them
        int64_t sent = 0;
        int64_t decoded = 0; // over the same stretch as sent
        double decoded_per_second = 0.0;
        double seconds = 0.0;   // measured: CPU share and decoded_per_second
        double cpu_share = 0.0; // of one core
        bool ok = false;
        QString error;
    };

    explicit System_run(QString simulator_program);

    // The simulator at rate frames a second, or flat out for rate 0.
    Result run(int rate, int seconds);

private:
    QString start_unit(QProcess &unit, const QStringList &arguments, Result &result);
    void wait_for_drain();
    static void stop_unit(QProcess &unit);

    const QString simulator_program;
    int64_t decoded = 0;
};

#endif
