#ifndef VELMAR_EXPORTER_PORT_PLAN_H
#define VELMAR_EXPORTER_PORT_PLAN_H

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <vector>

// Which ports to watch, from every name the configuration's lines give now.
// A device reached under several names (a by-id link, a by-path link, the
// node itself) is watched once, under its most stable name, and carries the
// unit name any of its lines gives it, whatever the order of the lines and
// whichever line found it first.
class Port_plan
{
public:
    // One name a line gives, as found now.
    struct Name
    {
        QString path;
        // The same for every name of one device: its device number while it
        // is there, else the path itself.
        QString device;
        bool is_link = false;
        QString unit; // the name a `unit NAME = PATH` line gives; empty for a `port` line
    };

    struct Port
    {
        QString path;
        QString device;
        QString unit;
        // Other unit names given to the same device, which lose to `unit`.
        QStringList other_units;
        // The other names it was found under.
        QStringList aliases;
    };

    // Names in the order of the configuration's lines; one port per device,
    // sorted by path.
    static std::vector<Port> plan(const std::vector<Name> &names);

    // Lower is steadier: a by-id link names the adapter, a by-path link the
    // socket it is plugged into, another link whatever the site chose, and
    // the node (ttyUSB0) only the order in which adapters came.
    static int instability(const Name &name);
};

#endif
