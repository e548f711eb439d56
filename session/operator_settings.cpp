#include "session/operator_settings.h"

#include <QtCore/QString>

#include <algorithm>
#include <cmath>

namespace {

constexpr int hundredths_per_db = 100;
constexpr int min_hundredths = 2300;
constexpr int step_hundredths = 75;

} // namespace

Operator_settings::Operator_settings(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<Control_payload>();
    wanted.gain_codes = {{Gain_law::initial_code, Gain_law::initial_code}};
    wanted.threshold_dbm = 0;
}

double Operator_settings::as_entered(double db)
{
    // The editor rounds through its own text, so do the same.
    return QString::number(db, 'f', gain_decimals).toDouble();
}

// The code for an entry of min_gain_db to max_gain_db: an entry on the grid
// takes its own code; any other is rounded to the nearest code, halves away
// from zero. The hundredths are truncated, not rounded: 47.37 is held as
// 47.3699... and so taken as 4736. That is how an entry has always been
// converted, so the same typed value still gives the same code.
Operator_settings::Conversion Operator_settings::convert(double db)
{
    const auto hundredths = static_cast<uint16_t>(static_cast<long>(db * hundredths_per_db));
    const int steps = static_cast<int>(hundredths) - min_hundredths;
    Conversion conversion;
    if (steps % step_hundredths == 0) {
        conversion.code = static_cast<uint8_t>(steps / step_hundredths);
        conversion.on_grid = true;
        return conversion;
    }
    const float code = std::round(static_cast<float>(steps) / step_hundredths);
    conversion.code = static_cast<uint8_t>(static_cast<int>(code));
    return conversion;
}

void Operator_settings::enter_gain(int input, double db, const Unit_status::Dante &unit)
{
    entries[static_cast<std::size_t>(input)] = as_entered(std::clamp(db, min_gain_db, max_gain_db));
    convert_entry(input, unit);
}

// The editor's conversion of what it holds into a code.
void Operator_settings::convert_entry(int input, const Unit_status::Dante &unit)
{
    const auto at = static_cast<std::size_t>(input);
    const Conversion conversion = convert(entries[at]);
    wanted.gain_codes[at] = conversion.code;
    if (!conversion.on_grid) {
        // The editor snaps to the grid and takes the snapped value as a
        // change of its own, so a code that differs goes out twice.
        entries[at] = Gain_law::to_db(conversion.code);
        Q_EMIT gain_shown(input, entries[at]);
        convert_entry(input, unit);
    }
    if (wanted.gain_codes[at] != unit.gain_codes[at])
        Q_EMIT frame_wanted(wanted);
}

// As if the editor were set to db: nothing happens unless that changes what
// it holds, and it holds no more than its range.
void Operator_settings::put_gain(int input, double db, const Unit_status::Dante &unit)
{
    const auto at = static_cast<std::size_t>(input);
    const double held = std::clamp(db, min_gain_db, max_gain_db);
    if (held == entries[at])
        return;
    entries[at] = held;
    Q_EMIT gain_shown(input, held);
    convert_entry(input, unit);
}

void Operator_settings::put_threshold(int dbm)
{
    wanted.threshold_dbm = static_cast<int8_t>(dbm);
    Q_EMIT threshold_shown(dbm);
}

void Operator_settings::take_reported_gains(const Unit_status::Dante &unit)
{
    for (int input = 0; input < Unit_status::input_count; ++input)
        put_gain(input, Gain_law::to_db(unit.gain_codes[static_cast<std::size_t>(input)]), unit);
}

void Operator_settings::take_reported_threshold(int dbm)
{
    put_threshold(dbm);
}

void Operator_settings::apply_threshold(int dbm)
{
    put_threshold(
        std::clamp(dbm, Control_payload::threshold_min_dbm, Control_payload::threshold_max_dbm));
    Q_EMIT frame_wanted(wanted);
}

void Operator_settings::restore_defaults(const Unit_status::Dante &unit)
{
    for (int input = 0; input < Unit_status::input_count; ++input)
        put_gain(input, default_gain_db, unit);
    put_threshold(default_threshold_dbm);
    Q_EMIT frame_wanted(wanted);
}

void Operator_settings::apply(const Control_payload &values)
{
    for (int input = 0; input < Unit_status::input_count; ++input) {
        const auto at = static_cast<std::size_t>(input);
        wanted.gain_codes[at] = values.gain_codes[at];
        const double db = Gain_law::to_db(values.gain_codes[at]);
        if (db != entries[at]) {
            entries[at] = db;
            Q_EMIT gain_shown(input, db);
        }
    }
    put_threshold(values.threshold_dbm);
    Q_EMIT frame_wanted(wanted);
}
