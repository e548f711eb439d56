#ifndef VELMAR_PROTOCOL_STATUS_DECODER_H
#define VELMAR_PROTOCOL_STATUS_DECODER_H

#include <cstddef>
#include <cstdint>

class Unit_status;

// Turns one status payload into the unit's status, by the payload's own
// protocol version. Decoding works in place: what the payload does not carry
// keeps the value it had, as a unit reports only what its version knows.
class Status_decoder
{
public:
    struct Outcome
    {
        // False for a payload shorter than its own version and cage bits call
        // for: nothing of it was taken, since the rest would have to be made up.
        bool decoded = false;
        // The unit accepted a control frame; honoured even from a payload too
        // short to decode, as long as it holds the byte that says so.
        bool acknowledged = false;
        bool dante_invalid = false; // the Dante submodule flagged its own report
    };

    static Outcome decode(const uint8_t *payload, std::size_t length, Unit_status &status);

private:
    static void decode_flags(uint8_t byte, Unit_status &status);
    static void decode_links(uint8_t byte, Unit_status &status);
    static std::size_t decode_cages(const uint8_t *payload, Unit_status &status);
    static void decode_block(const uint8_t *block, uint8_t version, int cage, Unit_status &status);
    static void decode_dante(const uint8_t *region, Unit_status &status);
};

#endif
