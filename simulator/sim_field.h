#ifndef VELMAR_SIMULATOR_SIM_FIELD_H
#define VELMAR_SIMULATOR_SIM_FIELD_H

#include <QtCore/QString>

#include <functional>
#include <vector>

class Unit_status;
class Sim_settings;

// One named value of the simulated unit that a command can set: a field of the
// status message ("sfp1.power1") or a line behaviour ("rate"). The table of
// all of them is the command grammar; help and `show` are generated from it.
class Sim_field
{
public:
    using Parser = std::function<bool(const QString &text, double *value)>;
    using Setter = std::function<void(Unit_status &, Sim_settings &, double)>;
    using Getter = std::function<QString(const Unit_status &, const Sim_settings &)>;

    QString name;
    QString help_name;       // the name as help lists it ("CAGE.type" for all three cages)
    QString value_help;      // what the value may be ("0..15", "on|off")
    const char *description; // untranslated; see translated_description()
    Parser parse;
    Setter set;
    Getter get;

    QString translated_description() const;

    static const std::vector<Sim_field> &all();
    // nullptr when no field has that name (names are matched without case).
    static const Sim_field *find(const QString &name);
};

#endif
