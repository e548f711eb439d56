#include "ctl/set_command.h"

#include "console/console_output.h"
#include "console/exit_code.h"
#include "console/stop_request.h"
#include "ctl/ctl_options.h"
#include "protocol/gain_law.h"
#include "protocol/protocol_version.h"
#include "protocol/status_words.h"
#include "session/operator_settings.h"
#include "session/port_device.h"
#include "session/session.h"

#include <csignal>

namespace {

QString gain_name(int input)
{
    return QStringLiteral("gain%1_db").arg(Status_words::number(input));
}

QString gain_text(uint8_t code)
{
    return QString::number(Gain_law::to_db(code), 'f', Operator_settings::gain_decimals);
}

} // namespace

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
            tr("velmar-ctl set: cannot open %1: %2")
                .arg(Port_device::path(options.port.name), session->port_error()));
        return exit_port_unavailable;
    }
    connect_session();
    first_status_due.setSingleShot(true);
    connect(&first_status_due, &QTimer::timeout, this, [this] {
        fail(exit_no_status,
             tr("velmar-ctl set: no status from the unit within %1 s").arg(first_status_timeout_s));
    });
    first_status_due.start(first_status_timeout_ms);
    report_due.setSingleShot(true);
    // Acknowledged, and no status came to say otherwise.
    connect(&report_due, &QTimer::timeout, this,
            [this] { succeed(QStringLiteral("acknowledged")); });
    return QCoreApplication::exec();
}

void Set_command::connect_session()
{
    connect(session.get(), &Session::status_received, this, &Set_command::on_status);
    connect(session.get(), &Session::control_sent, this, [this] { on_line = true; });
    connect(session.get(), &Session::acknowledged, this, &Set_command::on_acknowledged);
    connect(session.get(), &Session::ack_timed_out, this, &Set_command::on_ack_timed_out);
    connect(session.get(), &Session::port_lost, this, [this](const QString &error) {
        fail(exit_port_lost,
             tr("velmar-ctl set: lost %1: %2").arg(Port_device::path(options.port.name), error));
    });
    // A terminal server's port opens, or fails to, after open_port() returned.
    connect(session.get(), &Session::port_unavailable, this, [this](const QString &error) {
        fail(exit_port_unavailable, tr("velmar-ctl set: cannot open %1: %2")
                                        .arg(Port_device::path(options.port.name), error));
    });
    connect(session.get(), &Session::port_opened, this, [this] {
        if (first_status_due.isActive())
            first_status_due.start();
    });
}

void Set_command::stop(int signal_number)
{
    const int exit_code = signal_number == SIGINT ? exit_interrupted : exit_terminated;
    if (taken)
        fail(exit_code, tr("velmar-ctl set: stopped while saying that the unit took the values"));
    else
        fail(exit_code, on_line ? tr("velmar-ctl set: stopped before the unit took the values")
                                : tr("velmar-ctl set: stopped before anything was sent"));
}

void Set_command::on_status(const Unit_status &status)
{
    if (!decided)
        send_first(status);
    else if (on_line)
        judge(status);
}

void Set_command::send_first(const Unit_status &status)
{
    decided = true;
    first_status_due.stop();
    if (!Protocol_version::takes_threshold(status.version)) {
        fail(exit_protocol_too_old,
             tr("velmar-ctl set: the unit speaks protocol %1; setting needs 2.0 or later")
                 .arg(Protocol_version::dotted(status.version)));
        return;
    }
    sent_values = values_for(options, status);
    if (!print_values(sent_values)) {
        fail_output();
        return;
    }
    session->apply(sent_values);
}

// The protocol numbers no frame, so an acknowledgement cannot say which
// frame it answers; the status that carries it (or the next) shows what
// the unit holds after it.
void Set_command::judge(const Unit_status &status)
{
    const Report report = report_of(status, sent_values);
    other_values =
        report == Report::shows_others ? differences(status, sent_values) : QStringList();
    if (acknowledged && report == Report::shows_others)
        fail(exit_unit_disagrees, tr("velmar-ctl set: the unit acknowledged, but reports %1")
                                      .arg(other_values.join(QStringLiteral(", "))));
    else if (acknowledged)
        succeed(QStringLiteral("acknowledged"));
    else if (report == Report::shows_them)
        succeed(QStringLiteral("reported"));
}

void Set_command::on_acknowledged()
{
    if (!on_line || acknowledged)
        return;
    acknowledged = true;
    report_due.start(Session_timing().ack_timeout_ms);
}

void Set_command::on_ack_timed_out()
{
    if (acknowledged)
        return;
    if (resent < options.retries) {
        ++resent;
        session->apply(sent_values);
        return;
    }
    QString message = tr("velmar-ctl set: no acknowledgement from the unit within %1 ms "
                         "(the frame sent %2 times), and no status reports the values")
                          .arg(Session_timing().ack_timeout_ms)
                          .arg(resent + 1);
    if (!other_values.isEmpty())
        message += tr("; it reports %1").arg(other_values.join(QStringLiteral(", ")));
    fail(exit_no_acknowledgement, message);
}

Set_command::Report Set_command::report_of(const Unit_status &status, const Control_payload &sent)
{
    // From 2.0 on a status carries the threshold, and the gains while the
    // Dante submodule is there.
    if (!Protocol_version::takes_threshold(status.version))
        return Report::cannot_show;
    const bool gains_shown = status.dante.present;
    const bool same = status.threshold_dbm == sent.threshold_dbm &&
                      (!gains_shown || status.dante.gain_codes == sent.gain_codes);
    if (!same)
        return Report::shows_others;
    return gains_shown ? Report::shows_them : Report::cannot_show;
}

QStringList Set_command::differences(const Unit_status &status, const Control_payload &sent)
{
    QStringList found;
    for (int input = 0; status.dante.present && input < Unit_status::input_count; ++input) {
        const uint8_t reported = status.dante.gain_codes[static_cast<std::size_t>(input)];
        const uint8_t wanted = sent.gain_codes[static_cast<std::size_t>(input)];
        if (reported != wanted)
            found.append(tr("%1=%2 instead of %3")
                             .arg(gain_name(input), gain_text(reported), gain_text(wanted)));
    }
    if (status.threshold_dbm != sent.threshold_dbm)
        found.append(
            tr("threshold_dbm=%1 instead of %2").arg(status.threshold_dbm).arg(sent.threshold_dbm));
    return found;
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
        if (!Console_output::data(QStringLiteral("%1=%2").arg(
                gain_name(input), gain_text(values.gain_codes[static_cast<std::size_t>(input)]))))
            return false;
    }
    return Console_output::data(QStringLiteral("threshold_dbm=%1").arg(values.threshold_dbm));
}

void Set_command::succeed(const QString &word)
{
    taken = true;
    if (Console_output::data(word))
        finish(exit_done);
    else
        fail_output();
}

void Set_command::fail_output()
{
    // A stalled output that took nothing before Ctrl-C or SIGTERM: the
    // signal ends the command, as it would have a moment later.
    if (Stop_request::pending())
        stop(Stop_request::signal_number());
    else
        fail(exit_output_failed,
             tr("velmar-ctl set: cannot write the output: %1").arg(Console_output::write_error()));
}

void Set_command::fail(int exit_code, const QString &message)
{
    if (finished)
        return;
    Console_output::error(message);
    finish(exit_code);
}

void Set_command::finish(int exit_code)
{
    if (finished)
        return;
    finished = true;
    first_status_due.stop();
    report_due.stop();
    session->disconnect(this);
    QCoreApplication::exit(exit_code);
}
