#include "exporter/port_plan.h"

#include "session/port_device.h"

#include <map>

namespace {

enum Instability
{
    by_id_link,
    by_path_link,
    other_link,
    device_node,
};

bool in_folder(const QString &path, const QString &folder)
{
    return path.startsWith(folder + QLatin1Char('/'));
}

bool steadier(const Port_plan::Name &a, const Port_plan::Name &b)
{
    const int rank_a = Port_plan::instability(a);
    const int rank_b = Port_plan::instability(b);
    return rank_a != rank_b ? rank_a < rank_b : a.path < b.path;
}

} // namespace

int Port_plan::instability(const Name &name)
{
    if (!name.is_link)
        return device_node;
    if (in_folder(name.path, Port_device::by_id_directory()))
        return by_id_link;
    if (in_folder(name.path, QStringLiteral("/dev/serial/by-path")))
        return by_path_link;
    return other_link;
}

std::vector<Port_plan::Port> Port_plan::plan(const std::vector<Name> &names)
{
    // By device: the steadiest name so far, and the names in line order.
    std::map<QString, std::vector<const Name *>> devices;
    for (const Name &name : names)
        devices[name.device].push_back(&name);
    std::map<QString, Port> by_path;
    for (const auto &device : devices) {
        const Name *steadiest = device.second.front();
        for (const Name *name : device.second) {
            if (steadier(*name, *steadiest))
                steadiest = name;
        }
        Port port{steadiest->path, device.first, QString(), {}, {}};
        for (const Name *name : device.second) {
            if (name->path != port.path && !port.aliases.contains(name->path))
                port.aliases.append(name->path);
            if (name->unit.isEmpty())
                continue;
            if (port.unit.isEmpty())
                port.unit = name->unit;
            else if (name->unit != port.unit && !port.other_units.contains(name->unit))
                port.other_units.append(name->unit);
        }
        port.aliases.sort();
        by_path.emplace(port.path, port);
    }
    std::vector<Port> ports;
    ports.reserve(by_path.size());
    for (auto &port : by_path)
        ports.push_back(port.second);
    return ports;
}
