#include "support/steady_unit.h"

namespace {

constexpr int frames_per_second = 50;

} // namespace

std::unique_ptr<Unit_simulator> steady_unit(const QStringList &commands, const QString &link)
{
    auto unit = std::make_unique<Unit_simulator>();
    unit->settings().drift = false;
    unit->settings().rate = frames_per_second;
    if (!link.isEmpty())
        unit->set_link_path(link);
    bool started = unit->start_on_pty();
    for (const QString &command : commands)
        started = started && unit->execute(command);
    return started ? std::move(unit) : nullptr;
}
