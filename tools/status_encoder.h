#ifndef VELMAR_TOOLS_STATUS_ENCODER_H
#define VELMAR_TOOLS_STATUS_ENCODER_H

#include <QtCore/QByteArray>

#include <cstddef>

class Unit_state;

// Turns a unit's state into the payload of one status frame, laid out for the
// state's own protocol version: short SFP blocks below 1.1, long ones from
// 1.1 on, the Dante region and threshold from 2.0 on. Empty cages have no
// block.
class Status_encoder
{
public:
    static constexpr std::size_t max_payload_length = 255; // what the length byte can say

    // length_change < 0 cuts that many bytes off the end, > 0 appends that many
    // zero bytes: payloads that disagree with their own version and cage bits.
    static QByteArray encode(const Unit_state &state, bool acknowledge, int length_change = 0);

    // Size of the well-formed payload for this state.
    static std::size_t payload_size(const Unit_state &state);

private:
    static char flags_byte(const Unit_state &state);
    static char link_byte(const Unit_state &state, bool acknowledge);
    static char cage_types_byte(const Unit_state &state);
    static void append_cage(QByteArray &payload, const Unit_state &state, int cage);
    static void append_dante(QByteArray &payload, const Unit_state &state);
    static void append_big_endian(QByteArray &payload, uint16_t value);
    static void apply_length_change(QByteArray &payload, int length_change);
};

#endif
