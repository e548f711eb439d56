#ifndef VELMAR_PROTOCOL_CONTROL_PAYLOAD_H
#define VELMAR_PROTOCOL_CONTROL_PAYLOAD_H

#include "protocol/gain_law.h"
#include "protocol/unit_status.h"

#include <QtCore/QByteArray>
#include <QtCore/QMetaType>

#include <array>
#include <cstddef>
#include <cstdint>

// The one message the tool sends: both Dante gain codes and the Rx-power
// fault threshold, after a fixed tag byte. The unit acknowledges each in a
// later status message.
class Control_payload
{
public:
    static constexpr uint8_t tag = 0x20;
    static constexpr std::size_t size = 4;
    // The thresholds a unit takes.
    static constexpr int threshold_min_dbm = -35;
    static constexpr int threshold_max_dbm = 0;

    std::array<uint8_t, Unit_status::input_count> gain_codes{
        {Gain_law::initial_code, Gain_law::initial_code}};
    // Carried as it is, even outside the editors' range: a threshold copied
    // from the unit goes back to it unchanged.
    int8_t threshold_dbm = 0;

    std::array<uint8_t, size> bytes() const;
    // The complete frame: sync pair, length, these bytes and the CRC.
    QByteArray frame() const;

    // False unless the payload has the control message's size and tag.
    static bool parse(const uint8_t *payload, std::size_t length, Control_payload *out);

    static bool threshold_in_range(int dbm)
    {
        return dbm >= threshold_min_dbm && dbm <= threshold_max_dbm;
    }

    bool operator==(const Control_payload &other) const
    {
        return gain_codes == other.gain_codes && threshold_dbm == other.threshold_dbm;
    }
    bool operator!=(const Control_payload &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(Control_payload)

#endif
