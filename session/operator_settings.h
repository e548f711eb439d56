#ifndef VELMAR_SESSION_OPERATOR_SETTINGS_H
#define VELMAR_SESSION_OPERATOR_SETTINGS_H

#include "protocol/control_payload.h"
#include "protocol/gain_law.h"
#include "protocol/status_words.h"
#include "protocol/unit_status.h"

#include <QtCore/QObject>

#include <array>
#include <cstdint>

// What the operator asks of the unit: the two gains as the gain editors hold
// them and the threshold the next control frames carry. It follows the
// editors' rules (their range, their two decimals, the snap onto the 0.75 dB
// grid) so that the window, velmar-ctl and anything else build the same frame
// from the same entries.
//
// Changes come out as signals, in the order the editors and the line see
// them: gain_shown and threshold_shown for the editors, frame_wanted for each
// control frame, carrying the values as they stand at that moment.
class Operator_settings : public QObject
{
    Q_OBJECT

public:
    // The editors offer codes 0 to 63 of the gain law.
    static constexpr uint8_t max_gain_code = 63;
    static constexpr double min_gain_db = Gain_law::min_db;
    static constexpr double max_gain_db = Gain_law::to_db(max_gain_code);
    static constexpr int gain_decimals = Status_words::gain_decimals;
    // "Default Set"
    static constexpr double default_gain_db = Gain_law::to_db(Gain_law::initial_code);
    static constexpr int default_threshold_dbm = -28;

    explicit Operator_settings(QObject *parent = nullptr);

    // An entry in the editor of input (0 or 1), in dB: kept to the editor's
    // range and decimals, and snapped onto the grid, which the editor is told.
    // A frame goes out for each conversion whose code differs from the unit's.
    void enter_gain(int input, double db, const Unit_status::Dante &unit);
    // The unit's gains into the editors ("Reading gain"): a code above the
    // editors' range stops at their top, and goes back to the unit as such.
    void take_reported_gains(const Unit_status::Dante &unit);
    // The unit's own threshold, as it is, into the editor; nothing is sent.
    void take_reported_threshold(int dbm);
    // Kept to the unit's range, and sent at once.
    void apply_threshold(int dbm);
    // Both gains to 47.0 dB and the threshold to -28 dBm, then one frame.
    void restore_defaults(const Unit_status::Dante &unit);
    // Every value at once, then one frame.
    void apply(const Control_payload &wanted);

    const Control_payload &values() const { return wanted; }
    double gain_db(int input) const { return entries[static_cast<std::size_t>(input)]; }

    // What a gain editor holds after db is typed into it: rounded to its
    // decimals. Entries outside the range are not taken at all.
    static double as_entered(double db);
    static bool gain_in_range(double db) { return db >= min_gain_db && db <= max_gain_db; }

Q_SIGNALS:
    void gain_shown(int input, double db);
    void threshold_shown(int dbm);
    void frame_wanted(const Control_payload &values);

private:
    struct Conversion
    {
        uint8_t code = 0;
        bool on_grid = false; // false: the entry has to be snapped to the code's gain
    };

    static Conversion convert(double db);
    void convert_entry(int input, const Unit_status::Dante &unit);
    void put_gain(int input, double db, const Unit_status::Dante &unit);
    void put_threshold(int dbm);

    Control_payload wanted;
    // What the gain editors hold. An entry just off the grid may be kept as
    // typed, so the values are followed here and not derived from codes.
    std::array<double, Unit_status::input_count> entries{{default_gain_db, default_gain_db}};
};

#endif
