#ifndef VELMAR_PROTOCOL_PROTOCOL_VERSION_H
#define VELMAR_PROTOCOL_PROTOCOL_VERSION_H

#include <QtCore/QString>

#include <cstdint>

// The version byte every status message starts with: the high nibble is the
// major number, the low nibble the minor. The layout grows at 1.1 and at 2.0;
// any other value is decoded by the rules of the highest of those it reaches.
class Protocol_version
{
public:
    static constexpr uint8_t v1_0 = 0x10;
    static constexpr uint8_t v1_1 = 0x11;
    static constexpr uint8_t v2_0 = 0x20;
    // What the tool assumes before the unit has said anything.
    static constexpr uint8_t assumed = v1_1;

    static constexpr int major(uint8_t version) { return version >> nibble_bits; }
    static constexpr int minor(uint8_t version) { return version & nibble_mask; }

    // The versions this tool was made for.
    static constexpr bool is_supported(uint8_t version)
    {
        return version == v1_0 || version == v1_1 || version == v2_0;
    }

    // From 2.0 on a unit reports and takes the Rx-power threshold and is kept
    // refreshed with control frames.
    static constexpr bool takes_threshold(uint8_t version) { return version >= v2_0; }

    // "1.0", "2.0", "10.11": major and minor in decimal.
    static QString dotted(uint8_t version);
    // "0x21": the raw byte, for a version the tool was not made for.
    static QString raw(uint8_t version);
    // As records and labels name a version: dotted when supported, else raw.
    static QString text(uint8_t version)
    {
        return is_supported(version) ? dotted(version) : raw(version);
    }

private:
    static constexpr int nibble_bits = 4;
    static constexpr uint8_t nibble_mask = 0x0F;
};

#endif
