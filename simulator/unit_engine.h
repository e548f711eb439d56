#ifndef VELMAR_SIMULATOR_UNIT_ENGINE_H
#define VELMAR_SIMULATOR_UNIT_ENGINE_H

#include "protocol/control_payload.h"
#include "protocol/frame_receiver.h"
#include "protocol/unit_status.h"
#include "simulator/healthy_unit.h"
#include "simulator/sim_settings.h"

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
        bool control_shaped = false; // the control payload's size and tag
        bool taken = false;          // control-shaped with a good CRC
        bool applied = false;        // taken, and its values made the unit's own
        QByteArray payload;
        Control_payload values{{{0, 0}}, 0}; // of a control-shaped payload
    };

    Unit_engine();

    Unit_status &state() { return unit; }
    const Unit_status &state() const { return unit; }
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
    static constexpr uint8_t noise_avoided = 0x50; // "P" could start a frame

    bool take_due_ack(qint64 now_ms);
    bool take_crc_fault();
    void append_noise(QByteArray &out);
    Control_report completed_frame(bool crc_ok, qint64 now_ms);
    static QString gain_text(uint8_t code);
    QByteArray payload_to_send(qint64 now_ms);

    Unit_status unit = healthy_unit();
    Sim_settings behaviour;
    Frame_receiver receiver;
    std::deque<qint64> ack_due_ms;
    double bad_crc_credit = 0.0;
    std::mt19937 random;
    QByteArray last_status_frame;
};

#endif
