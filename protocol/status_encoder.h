#ifndef VELMAR_PROTOCOL_STATUS_ENCODER_H
#define VELMAR_PROTOCOL_STATUS_ENCODER_H

#include <QtCore/QByteArray>

#include <cstddef>

class Unit_status;

// The other direction of Status_decoder: lays a unit's status out as the
// payload of one status message of the status's own version. Empty cages get
// no block; wavelengths and channel flags go out from 1.1 on, the Dante region
// and the threshold from 2.0 on. The simulated unit speaks through it.
class Status_encoder
{
public:
    struct Extras
    {
        bool acknowledge = false;   // accept the control frame received last
        bool dante_invalid = false; // the submodule disowns its report
    };

    static QByteArray payload(const Unit_status &status, Extras extras);
    static std::size_t payload_size(const Unit_status &status);
    // 25 + 5 x code degrees C; temperatures outside 25 to 100 take the nearest end.
    static uint8_t temperature_code(int temperature_c);

private:
    static char flags_byte(const Unit_status &status);
    static char links_byte(const Unit_status &status, bool acknowledge);
    static uint8_t cage_types(const Unit_status &status);
    static void append_block(QByteArray &payload, const Unit_status &status, int cage);
    static void append_dante(QByteArray &payload, const Unit_status &status, bool invalid);
    static void append_big_endian(QByteArray &payload, uint16_t value);
};

#endif
