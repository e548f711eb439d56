#include "protocol/gain_law.h"

#include <QtCore/QString>

#include <cmath>

namespace {

constexpr int hundredths_per_db = 100;
constexpr int min_hundredths = 2300;
constexpr int step_hundredths = 75;

} // namespace

Gain_law::Entry Gain_law::from_db(double db)
{
    // The hundredths are truncated, not rounded: 47.37 is held as 47.3699...
    // and so taken as 4736. That is how an entry has always been converted,
    // so the same typed value still gives the same code.
    const auto hundredths = static_cast<uint16_t>(static_cast<long>(db * hundredths_per_db));
    const int steps = static_cast<int>(hundredths) - min_hundredths;
    Entry entry;
    if (steps % step_hundredths == 0) {
        entry.code = static_cast<uint8_t>(steps / step_hundredths);
        entry.on_grid = true;
        return entry;
    }
    const float code = std::round(static_cast<float>(steps) / step_hundredths);
    entry.code = static_cast<uint8_t>(static_cast<int>(code));
    return entry;
}

double Gain_law::as_entered(double db)
{
    // The editor rounds through its own text, so do the same.
    return QString::number(db, 'f', editor_decimals).toDouble();
}
