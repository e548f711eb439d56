#ifndef VELMAR_TOOLS_UNIT_ENGINE_H
#define VELMAR_TOOLS_UNIT_ENGINE_H

#include "link/frame_receiver.h"
#include "tools/sim_settings.h"
#include "tools/unit_state.h"

#include <QtCore/QByteArray>
#include <QtCore/QCoreApplication>
#include <QtCore/QString>

#include <cstdint>
#include <deque>
#include <random>
#include <vector>

// What the simulated unit does, without any line or clock of its own: it
// makes the bytes of the next transmission and digests received bytes. Time
// is passed in, so acknowledgement delays and drift can be tested exactly.
class Unit_engine
{
    Q_DECLARE_TR_FUNCTIONS(Unit_engine)

public:
    struct Control_report
    {
        bool crc_ok = false;
        bool applied = false; // good CRC and the control payload the unit understands
        QByteArray payload;
        uint8_t gain_code[Unit_state::gain_count] = {};
        int8_t threshold_dbm = 0;
    };

    Unit_engine();

    Unit_state &state() { return unit; }
    const Unit_state &state() const { return unit; }
    Sim_settings &settings() { return behaviour; }
    const Sim_settings &settings() const { return behaviour; }

    // Noise bytes, if any, then one status frame carrying the state as of
    // now_ms, the acknowledgement that is due, and the injected faults.
    QByteArray next_transmission(qint64 now_ms);
    // The status frame of the last transmission, without its noise.
    const QByteArray &last_frame() const { return last_status_frame; }

    // Runs received bytes through the control-frame receiver; one report per
    // completed frame. Good frames set the gains and threshold and, when
    // acknowledging, queue an acknowledgement due ack_delay_ms later.
    std::vector<Control_report> receive(const QByteArray &bytes, qint64 now_ms);

    int pending_acknowledgements() const { return static_cast<int>(ack_due_ms.size()); }
    void seed(uint32_t value) { random.seed(value); }

    // One line for a person: gains in dB, threshold in dBm, the CRC verdict.
    static QString describe(const Control_report &report);

private:
    static constexpr uint8_t control_marker = 0x20;
    static constexpr uint8_t noise_avoided = 0x50; // "P" could start a frame
    static constexpr double gain_base_db = 23.0;
    static constexpr double gain_step_db = 0.75;

    bool take_due_ack(qint64 now_ms);
    bool take_crc_fault();
    void append_noise(QByteArray &out);
    Control_report completed_frame(bool crc_ok, qint64 now_ms);
    static QString gain_text(uint8_t code);

    Unit_state unit;
    Sim_settings behaviour;
    Frame_receiver receiver;
    std::deque<qint64> ack_due_ms;
    double bad_crc_credit = 0.0;
    std::mt19937 random;
    QByteArray last_status_frame;
};

#endif
