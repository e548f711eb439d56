// Writes a day of a unit's record, as `velmar-ctl watch` writes it, without
// waiting a day: the simulated unit's engine makes the frames with the time
// passed in, a session decodes them on a clock of its own, and the record
// writer writes them. Every status differs from the one before (the Rx power
// of SFP 1 steps every frame); the day holds short dips below the threshold,
// silences and a fault, at known times.
//
// Usage: make_night_record FILE [HOURS]

#include "record/json_record_format.h"
#include "record/recorder.h"
#include "session/session.h"
#include "simulator/unit_engine.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDateTime>
#include <QtCore/QFile>

#include <cstdio>

namespace {

constexpr int frames_per_second = 10;
constexpr qint64 frame_ms = 1000 / frames_per_second;
constexpr qint64 ms_per_hour = 3600 * 1000;
constexpr qint64 judgement_ms = 1000;
constexpr int default_hours = 24;
constexpr int power_steps = 11;
constexpr int dip_frames = 2;                    // 200 ms
constexpr qint64 dip_every_ms = 3 * ms_per_hour; // and a silence half-way between
constexpr qint64 silence_ms = 5000;
constexpr qint64 fault_ms = 30 * 1000;
constexpr int16_t base_power_tenths = -142;
constexpr int16_t dip_power_tenths = -355;

qint64 now_ms = 0;

qint64 clock_now()
{
    return now_ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("make_night_record"));
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr, "usage: make_night_record FILE [HOURS]\n");
        return 2;
    }
    const int hours = arguments.size() > 2 ? arguments[2].toInt() : default_hours;
    QFile file(arguments[1]);
    if (hours <= 0 || !file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "make_night_record: cannot write %s\n", qPrintable(arguments[1]));
        return 1;
    }
    const qint64 start_ms =
        QDateTime::fromString(QStringLiteral("2026-12-06T18:00:00.000Z"), Qt::ISODateWithMs)
            .toMSecsSinceEpoch();
    now_ms = start_ms;
    Session_timing timing;
    timing.clock = &clock_now;
    Session session(timing);
    session.set_listen_only(true);
    const Json_record_format format;
    Recorder recorder(session, format, file, Recorder::Policy::every_status);
    bool failed = false;
    QObject::connect(&recorder, &Recorder::write_failed, [&failed] { failed = true; });
    recorder.begin_run({QStringLiteral("/dev/ttyUSB0")});

    Unit_engine engine;
    engine.settings().drift = true;
    Unit_status &unit = engine.state();
    const qint64 end_ms = start_ms + hours * ms_per_hour;
    qint64 next_judgement = start_ms + judgement_ms;
    for (qint64 frame = 0; now_ms < end_ms; ++frame, now_ms += frame_ms) {
        while (now_ms >= next_judgement) {
            session.check_link();
            next_judgement += judgement_ms;
        }
        const qint64 into_ms = now_ms - start_ms;
        const qint64 phase = into_ms % dip_every_ms;
        if (phase >= dip_every_ms / 2 && phase < dip_every_ms / 2 + silence_ms)
            continue; // silent
        const bool dip =
            phase >= dip_every_ms / 4 && phase < dip_every_ms / 4 + dip_frames * frame_ms;
        unit.cages[Unit_status::sfp_1].channels[0].power_tenths = static_cast<int16_t>(
            dip ? dip_power_tenths - frame % 2 : base_power_tenths + frame % power_steps);
        unit.rx_fault = phase >= dip_every_ms * 3 / 4 && phase < dip_every_ms * 3 / 4 + fault_ms;
        session.receive(engine.next_transmission(into_ms));
        if (failed)
            return 1;
    }
    return file.flush() ? 0 : 1;
}
