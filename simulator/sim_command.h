#ifndef VELMAR_SIMULATOR_SIM_COMMAND_H
#define VELMAR_SIMULATOR_SIM_COMMAND_H

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QStringList>

class Sim_field;
class Sim_settings;
class Unit_status;

// One line of the simulator's command language, parsed.
//
//   [set] NAME VALUE   set one field of the status message or one line
//                      behaviour (the table in Sim_field; `set` is optional)
//   silence MS         send nothing for MS milliseconds
//   unplug MS          take the line away for MS milliseconds, then offer a
//                      new one (a pseudo-terminal: a new path, and --link moves)
//   show               print the state and behaviour as commands
//   line               print how the other end set the line (rate, 8N1, flow)
//   reset              back to the healthy 2.0 unit (behaviour unchanged)
//   help               list the commands
//   quit               stop the simulator
//
// Blank lines do nothing, and '#' starts a comment that runs to the end of
// the line. Names and words are
// matched without case; numbers may be decimal, 0x hex or 0b binary.
class Sim_command
{
    Q_DECLARE_TR_FUNCTIONS(Sim_command)

public:
    enum class Action
    {
        nothing,
        assign,
        silence,
        unplug,
        show,
        reset,
        help,
        quit,
        line,
    };

    static constexpr int max_silence_ms = 3600 * 1000;

    static Sim_command parse(const QString &line);

    bool is_valid() const { return error_text.isEmpty(); }
    QString error() const { return error_text; }
    Action action() const { return what; }
    // For silence and unplug.
    int silence_ms() const { return silence_duration; }

    // Performs an assignment; any other action leaves both untouched.
    void apply(Unit_status &state, Sim_settings &settings) const;

    static QString help_text();
    // Commands that recreate the given state and behaviour, one a line.
    static QStringList describe(const Unit_status &state, const Sim_settings &settings);

private:
    static Sim_command invalid(const QString &error);
    static QString unknown_name(const QString &name);
    static Sim_command parse_assignment(const QStringList &words);
    static Sim_command parse_duration(Action action, const QStringList &words);
    static Sim_command parse_bare(Action action, const QStringList &words);

    Action what = Action::nothing;
    QString error_text;
    int silence_duration = 0;
    const Sim_field *field = nullptr;
    double value = 0;
};

#endif
