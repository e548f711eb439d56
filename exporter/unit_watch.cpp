#include "exporter/unit_watch.h"

#include "console/console_output.h"
#include "session/port_url.h"
#include "session/session.h"

#include <QtCore/QFileInfo>

Unit_watch::Unit_watch(const QString &path, const QString &unit, qint32 baud_rate,
                       const Session_timing &timing, QObject *parent)
    : QObject(parent), session(std::make_unique<Session>(timing)), clock(timing.clock),
      baud_rate(baud_rate)
{
    current.port = path;
    current.unit = unit;
    session->set_listen_only(true);
    connect(session.get(), &Session::status_received, this, &Unit_watch::on_status);
    connect(session.get(), &Session::values_known_changed, this, &Unit_watch::on_values);
    connect(session.get(), &Session::crc_mismatch, this, [this] {
        ++current.crc_mismatches;
        changed();
    });
    connect(session.get(), &Session::short_message, this, [this] {
        ++current.short_messages;
        changed();
    });
    connect(session.get(), &Session::port_lost, this, &Unit_watch::on_port_lost);
    connect(session.get(), &Session::port_reopened, this, &Unit_watch::on_port_reopened);
    // A terminal server's port: the session connects, and tries again on
    // its own back-off, after open_port() returned.
    connect(session.get(), &Session::port_opened, this, [this] {
        if (port_state == Port_state::opening)
            on_opened();
    });
    connect(session.get(), &Session::port_unavailable, this, &Unit_watch::report_open_failure);
}

Unit_watch::~Unit_watch() = default;

void Unit_watch::open_if_closed()
{
    if (port_state != Port_state::closed)
        return;
    if (Port_url::is_url(current.port)) {
        port_state = Port_state::opening;
        session->open_port({current.port, baud_rate});
        return;
    }
    // Qt writes a lock file before it looks for the device: not for a path
    // that is plainly absent.
    if (!QFileInfo::exists(current.port)) {
        report_open_failure(tr("no such device yet"));
        return;
    }
    if (!session->open_port({current.port, baud_rate})) {
        report_open_failure(session->port_error());
        return;
    }
    on_opened();
}

void Unit_watch::on_opened()
{
    if (!last_open_failure.isEmpty())
        Console_output::error(tr("velmar-exporter: %1: opened").arg(current.port));
    last_open_failure.clear();
    port_state = Port_state::open;
    current.port_open = true;
    changed();
}

void Unit_watch::report_open_failure(const QString &reason)
{
    // Tried again at every scan: said once, and again only when the reason changes.
    if (reason == last_open_failure)
        return;
    last_open_failure = reason;
    Console_output::error(
        tr("velmar-exporter: cannot open %1: %2; trying again").arg(current.port, reason));
}

void Unit_watch::on_values(Link_watchdog::Values values)
{
    // A lost port already took the values, and is not a silence as well.
    if (values.known || !current.up())
        return;
    ++current.silences;
    fall_silent();
}

void Unit_watch::set_unit(const QString &unit)
{
    if (unit == current.unit)
        return;
    current.unit = unit;
    changed();
}

// A decoded status is known at once; only its absence waits for a period.
void Unit_watch::on_status(const Unit_status &status)
{
    ++current.status_messages;
    current.last_status_ms = clock();
    current.status = status;
    changed();
}

void Unit_watch::on_port_lost(const QString &error)
{
    Console_output::error(tr("velmar-exporter: %1: port lost: %2").arg(current.port, error));
    port_state = Port_state::lost;
    current.port_open = false;
    ++current.port_losses;
    fall_silent();
}

void Unit_watch::on_port_reopened()
{
    Console_output::error(tr("velmar-exporter: %1: reopened").arg(current.port));
    port_state = Port_state::open;
    current.port_open = true;
    changed();
}

void Unit_watch::fall_silent()
{
    current.status.reset();
    changed();
}
