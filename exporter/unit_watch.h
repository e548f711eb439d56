#ifndef VELMAR_EXPORTER_UNIT_WATCH_H
#define VELMAR_EXPORTER_UNIT_WATCH_H

#include "exporter/unit_reading.h"
#include "session/link_watchdog.h"
#include "session/session_timing.h"

#include <QtCore/QObject>
#include <QtCore/QString>

#include <memory>

class Session;

// One port the exporter listens to, through a session that sends nothing of
// its own. It counts what arrives, and goes by the session's judgement of
// whether the unit's values are known (a period without a decoded status is
// silence, damaged frames or not), the same one the records carry: a silent
// unit or a lost port shows no values, only that it is down.
class Unit_watch : public QObject
{
    Q_OBJECT

public:
    Unit_watch(const QString &path, const QString &unit, qint32 baud_rate,
               const Session_timing &timing, QObject *parent = nullptr);
    ~Unit_watch() override;

    // Opens the port if it is neither open nor being reopened by the session
    // after a loss. A path that does not exist is left alone until it does.
    // A terminal server's port is the session's to open, and to try again.
    void open_if_closed();
    // The name the configuration gives the unit now.
    void set_unit(const QString &unit);

    Unit_reading reading() const { return current; }

Q_SIGNALS:
    void reading_changed(const Unit_reading &reading);

private:
    enum class Port_state
    {
        closed,  // never opened, or it failed to open
        opening, // across the network: the session connects until it opens
        open,
        lost, // the session tries it again once a second
    };

    void on_opened();
    void on_status(const Unit_status &status);
    void on_values(Link_watchdog::Values values);
    void on_port_lost(const QString &error);
    void on_port_reopened();
    void fall_silent();
    void report_open_failure(const QString &reason);
    void changed() { Q_EMIT reading_changed(current); }

    std::unique_ptr<Session> session;
    const Session_timing::Clock clock;
    const qint32 baud_rate;
    Unit_reading current;
    Port_state port_state = Port_state::closed;
    QString last_open_failure;
};

#endif
