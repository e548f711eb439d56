#ifndef VELMAR_PROTOCOL_GAIN_LAW_H
#define VELMAR_PROTOCOL_GAIN_LAW_H

#include <cstdint>

// How a Dante input's gain travels: a code byte meaning 23.0 + 0.75 x code
// dB, the same in both directions. The operator's editors allow codes 0 to 63,
// 23.00 to 70.25 dB, and put any entry onto that 0.75 dB grid.
class Gain_law
{
public:
    static constexpr double min_db = 23.0;
    static constexpr double max_db = 70.25;
    static constexpr double step_db = 0.75;
    static constexpr double default_db = 47.0;
    static constexpr uint8_t max_code = 63;
    static constexpr uint8_t default_code = 32;
    static constexpr int editor_decimals = 2;

    struct Entry
    {
        uint8_t code = 0;
        bool on_grid = false; // false: the entry has to be snapped to to_db(code)
    };

    static double to_db(uint8_t code) { return min_db + step_db * code; }

    // The code for an editor entry of min_db to max_db: an entry on the grid
    // takes its own code; any other is rounded to the nearest code, halves
    // away from zero, after its hundredths are cut off as the editor keeps them.
    static Entry from_db(double db);

    // What a gain editor holds after db is typed into it: rounded to its two
    // decimals. Entries outside min_db to max_db are not taken at all.
    static double as_entered(double db);
    static bool in_range(double db) { return db >= min_db && db <= max_db; }

    // The code an editor can show for a reported one: codes above max_code
    // stop at the top of the editor's range.
    static uint8_t editable(uint8_t code) { return code > max_code ? max_code : code; }
};

#endif
