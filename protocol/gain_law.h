#ifndef VELMAR_PROTOCOL_GAIN_LAW_H
#define VELMAR_PROTOCOL_GAIN_LAW_H

#include <cstdint>

// How a Dante input's gain travels: a code byte meaning 23.0 + 0.75 x code
// dB, the same in status and control messages. What an operator may enter is
// Operator_settings' business, not the wire's.
class Gain_law
{
public:
    static constexpr double min_db = 23.0; // code 0
    static constexpr double step_db = 0.75;
    // The gain a unit starts with and reports until it says otherwise.
    static constexpr uint8_t initial_code = 32;

    static constexpr double to_db(uint8_t code) { return min_db + step_db * code; }
};

#endif
