#include "simulator/unit_engine.h"

#include "protocol/frame.h"
#include "protocol/frame_builder.h"
#include "protocol/gain_law.h"
#include "protocol/status_encoder.h"
#include "simulator/value_drift.h"

#include <algorithm>

namespace {

constexpr uint8_t crc_fault_mask = 0x01;
constexpr int max_payload_length = 255; // what the length byte can say
// Credits are summed shares; the tolerance keeps 5 x 0.2 from missing 1.0.
constexpr double credit_tolerance = 1e-9;

QString hex_bytes(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ')).toUpper();
}

} // namespace

Unit_engine::Unit_engine() : receiver(frame::control_sync_1, frame::control_sync_2)
{
    random.seed(std::random_device{}());
}

QByteArray Unit_engine::next_transmission(qint64 now_ms)
{
    QByteArray out;
    append_noise(out);
    const QByteArray payload = payload_to_send(now_ms);
    last_status_frame =
        Frame_builder::build_status(reinterpret_cast<const uint8_t *>(payload.constData()),
                                    static_cast<std::size_t>(payload.size()));
    if (take_crc_fault()) {
        const int last = last_status_frame.size() - 1;
        last_status_frame[last] = static_cast<char>(last_status_frame[last] ^ crc_fault_mask);
    }
    out.append(last_status_frame);
    return out;
}

QByteArray Unit_engine::payload_to_send(qint64 now_ms)
{
    const Unit_status reported = behaviour.drift ? Value_drift::apply(unit, now_ms) : unit;
    Status_encoder::Extras extras;
    extras.acknowledge = take_due_ack(now_ms);
    extras.dante_invalid = behaviour.dante_invalid;
    QByteArray payload = Status_encoder::payload(reported, extras);
    // A payload that disagrees with its own version and cage bits.
    const int change = behaviour.payload_change;
    if (change < 0)
        payload.chop(std::min(-change, static_cast<int>(payload.size())));
    else
        payload.append(std::min(change, max_payload_length - static_cast<int>(payload.size())),
                       '\0');
    return payload;
}

std::vector<Unit_engine::Control_report> Unit_engine::receive(const QByteArray &bytes,
                                                              qint64 now_ms)
{
    std::vector<Control_report> reports;
    for (const char byte : bytes) {
        const Frame_receiver::Event event = receiver.push(static_cast<uint8_t>(byte));
        if (event == Frame_receiver::Event::crc_good || event == Frame_receiver::Event::crc_bad)
            reports.push_back(completed_frame(event == Frame_receiver::Event::crc_good, now_ms));
    }
    return reports;
}

Unit_engine::Control_report Unit_engine::completed_frame(bool crc_ok, qint64 now_ms)
{
    Control_report report;
    report.crc_ok = crc_ok;
    report.payload = QByteArray(reinterpret_cast<const char *>(receiver.payload()),
                                static_cast<int>(receiver.completed_length()));
    report.control_shaped =
        Control_payload::parse(receiver.payload(), receiver.completed_length(), &report.values);
    if (!report.control_shaped || !crc_ok)
        return report;

    report.taken = true;
    report.applied = behaviour.apply;
    if (report.applied) {
        unit.dante.gain_codes = report.values.gain_codes;
        unit.threshold_dbm = report.values.threshold_dbm;
    }
    if (behaviour.acknowledge)
        ack_due_ms.push_back(now_ms + behaviour.ack_delay_ms);
    return report;
}

bool Unit_engine::take_due_ack(qint64 now_ms)
{
    // One acknowledgement per status frame, so two control frames that
    // arrive close together are answered by two frames in turn.
    if (ack_due_ms.empty() || ack_due_ms.front() > now_ms)
        return false;
    ack_due_ms.pop_front();
    return true;
}

bool Unit_engine::take_crc_fault()
{
    // Summing the share spreads the broken frames evenly and gives exactly
    // the asked share over any whole number of periods.
    bad_crc_credit += behaviour.bad_crc_share;
    if (bad_crc_credit < 1.0 - credit_tolerance)
        return false;
    bad_crc_credit -= 1.0;
    return true;
}

void Unit_engine::append_noise(QByteArray &out)
{
    std::uniform_int_distribution<int> byte_value(0, 0xFF);
    for (int i = 0; i < behaviour.noise_bytes; ++i) {
        int value = byte_value(random);
        while (value == noise_avoided)
            value = byte_value(random);
        out.append(static_cast<char>(value));
    }
}

QString Unit_engine::gain_text(uint8_t code)
{
    return tr("%1 dB (code %2)").arg(Gain_law::to_db(code), 0, 'f', 2).arg(code);
}

QString Unit_engine::describe(const Control_report &report)
{
    const QString verdict = report.crc_ok ? tr("CRC ok") : tr("CRC bad");
    if (!report.control_shaped)
        return tr("control frame with unexpected payload [%1], %2, ignored")
            .arg(hex_bytes(report.payload), verdict);
    const Control_payload &values = report.values;
    const QString text = tr("control frame: gain 1 %1, gain 2 %2, threshold %3 dBm, %4")
                             .arg(gain_text(values.gain_codes[0]), gain_text(values.gain_codes[1]))
                             .arg(values.threshold_dbm)
                             .arg(verdict);
    if (report.taken && !report.applied)
        return tr("%1, not applied").arg(text);
    return report.applied ? text : tr("%1, ignored").arg(text);
}
