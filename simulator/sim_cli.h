#ifndef VELMAR_SIMULATOR_SIM_CLI_H
#define VELMAR_SIMULATOR_SIM_CLI_H

#include <QtCore/QCoreApplication>
#include <QtCore/QString>
#include <QtCore/QStringList>

#include <cstdint>

class QCommandLineParser;

// The command line of velmar-unit-sim, checked in full before anything runs.
// Every shortcut option becomes a command of the Sim_command language, so the
// start state and the commands typed later share one grammar.
class Sim_cli
{
    Q_DECLARE_TR_FUNCTIONS(Sim_cli)

public:
    enum class Outcome
    {
        run,
        help,
        error
    };

    static constexpr int32_t default_baud = 115200;

    Outcome outcome = Outcome::run;
    QString error;  // one line, for Outcome::error
    QString device; // empty: create a pseudo-terminal
    QString link;   // a symbolic link kept pointing at the pseudo-terminal
    int32_t baud = default_baud;
    QStringList commands; // the shortcut options first, then each --set, in order
    bool seeded = false;
    uint32_t seed = 0;

    // arguments[0] is the program name, as in QCoreApplication::arguments().
    static Sim_cli parse(const QStringList &arguments);
    static QString help_text();

private:
    static void add_options(QCommandLineParser &parser);
    static Sim_cli failed(const QString &error);
    static bool collect_commands(const QCommandLineParser &parser, Sim_cli &cli);
    static bool read_line_options(const QCommandLineParser &parser, Sim_cli &cli);
};

#endif
