#include "ctl/set_command.h"

#include "console/console_output.h"
#include "console/exit_code.h"
#include "ctl/ctl_options.h"
#include "protocol/gain_law.h"
#include "protocol/protocol_version.h"
#include "protocol/status_words.h"
#include "session/operator_settings.h"
#include "session/session.h"

#include <QtCore/QTimer>

Set_command::Set_command(const Ctl_options &options, QObject *parent)
    : QObject(parent), options(options)
{
}

Set_command::~Set_command() = default;

int Set_command::run()
{
    session = std::make_unique<Session>();
    // Only the one frame goes out: no refresh, no settings taken on connection.
    session->set_listen_only(true);
    if (!session->open_port(options.port)) {
        Console_output::error(
            tr("velmar-ctl set: cannot open %1: %2").arg(options.port.name, session->port_error()));
        return exit_port_unavailable;
    }
    connect(session.get(), &Session::status_received, this, &Set_command::on_first_status);
    connect(session.get(), &Session::acknowledged, this, [this] {
        if (sent && Console_output::data(QStringLiteral("acknowledged")))
            finish(exit_done);
        else if (sent)
            finish(exit_output_failed);
    });
    connect(session.get(), &Session::ack_timed_out, this, [this] {
        Console_output::error(tr("velmar-ctl set: the unit did not acknowledge within %1 ms")
                                  .arg(Session_timing().ack_timeout_ms));
        finish(exit_no_acknowledgement);
    });
    connect(session.get(), &Session::port_lost, this, [this](const QString &error) {
        Console_output::error(tr("velmar-ctl set: lost %1: %2").arg(options.port.name, error));
        finish(exit_port_lost);
    });
    QTimer::singleShot(first_status_timeout_ms, this, [this] {
        if (sent)
            return;
        Console_output::error(tr("velmar-ctl set: no status from the unit within %1 s")
                                  .arg(first_status_timeout_ms / 1000));
        finish(exit_no_status);
    });
    return QCoreApplication::exec();
}

void Set_command::on_first_status(const Unit_status &status)
{
    if (sent)
        return;
    sent = true;
    if (!Protocol_version::takes_threshold(status.version)) {
        Console_output::error(
            tr("velmar-ctl set: the unit speaks protocol %1; setting needs 2.0 or later")
                .arg(Protocol_version::dotted(status.version)));
        finish(exit_protocol_too_old);
        return;
    }
    const Control_payload values = values_for(options, status);
    if (!print_values(values)) {
        finish(exit_output_failed);
        return;
    }
    session->apply(values);
}

Control_payload Set_command::values_for(const Ctl_options &options, const Unit_status &unit)
{
    Operator_settings editors;
    if (options.defaults) {
        editors.restore_defaults(unit.dante);
    } else {
        editors.take_reported_threshold(unit.threshold_dbm);
        editors.take_reported_gains(unit.dante);
    }
    for (int input = 0; input < Unit_status::input_count; ++input) {
        const std::optional<double> &db = options.gains_db[static_cast<std::size_t>(input)];
        if (db)
            editors.enter_gain(input, *db, unit.dante);
    }
    if (options.threshold_dbm)
        editors.take_reported_threshold(*options.threshold_dbm);
    return editors.values();
}

bool Set_command::print_values(const Control_payload &values)
{
    for (int input = 0; input < Unit_status::input_count; ++input) {
        const double db = Gain_law::to_db(values.gain_codes[static_cast<std::size_t>(input)]);
        if (!Console_output::data(QStringLiteral("gain%1_db=%2")
                                      .arg(Status_words::number(input))
                                      .arg(db, 0, 'f', Operator_settings::gain_decimals)))
            return false;
    }
    return Console_output::data(QStringLiteral("threshold_dbm=%1").arg(values.threshold_dbm));
}

void Set_command::finish(int exit_code)
{
    session->disconnect(this);
    QCoreApplication::exit(exit_code);
}
