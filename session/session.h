#ifndef VELMAR_SESSION_SESSION_H
#define VELMAR_SESSION_SESSION_H

#include "protocol/control_payload.h"
#include "protocol/frame_receiver.h"
#include "protocol/unit_status.h"
#include "session/link_watchdog.h"
#include "session/operator_settings.h"
#include "session/port_settings.h"
#include "session/session_timing.h"

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QString>

class QTimer;
class Serial_channel;

// The tool's link to one unit, with no window: it owns the serial channel,
// finds and decodes the unit's status messages, watches the link, keeps the
// operator's gains and threshold (Operator_settings) and sends them to the
// unit, on every change and as a refresh while a 2.0 unit is connected.
//
// Front ends (the window, the command line, a recorder) call the operator's
// intents and listen to the signals, which carry values.
class Session : public QObject
{
    Q_OBJECT

public:
    explicit Session(const Session_timing &timing = {}, QObject *parent = nullptr);
    ~Session() override;

    // Closes whatever was open first; on failure writes one debug line and
    // port_error() says why. A port across the network (rfc2217://HOST:PORT,
    // socket://HOST:PORT) is still connecting when this returns true:
    // port_opened follows, or port_unavailable and attempts until it opens
    // (port_reopened).
    bool open_port(const Port_settings &settings);
    // The same, but a port that cannot be opened now is tried once a second
    // until it opens (port_reopened), another one is opened, or the port is
    // closed; port_unavailable says why it failed.
    bool open_port_or_keep_trying(const Port_settings &settings);
    // Open now, not only being opened.
    bool port_is_open() const;
    QString port_error() const;
    void close_port();
    // Takes effect at once on an open port, and when a lost one is reopened;
    // open_port() takes the rate it is given.
    void set_baud_rate(qint32 baud_rate);

    // An entry in gain editor 0 or 1, in dB. Off the 0.75 dB grid it is
    // snapped, and the editor is told (gain_changed). A control frame goes out
    // for each conversion whose code differs from the unit's own.
    void set_gain(int input, double db);
    // Puts the unit's reported gains into the editors ("Reading gain").
    void load_reported_gains();
    // The threshold the next control frames carry, sent at once.
    void apply_threshold(int dbm);
    // Both gains to 47.0 dB and the threshold to -28 dBm ("Default Set").
    void restore_defaults();
    // All values at once, in one control frame.
    void apply(const Control_payload &values);

    // A session that only listens sends nothing of its own: no refresh and
    // no settings taken on a new connection. Intents still send.
    void set_listen_only(bool listen_only);

    // The session's clock (Session_timing::clock): ms since the epoch, UTC,
    // the time base of every verdict's since_ms.
    qint64 now_ms() const { return clock(); }

public Q_SLOTS:
    // Bytes read from the line, in any chunks.
    void receive(const QByteArray &bytes);
    // The watchdog's judgement, run every Session_timing::watchdog_ms by the
    // session's own timer.
    void check_link();

Q_SIGNALS:
    // open_port() was asked for these settings, before it tries them: a
    // record notes which port the statuses after it come from.
    void port_opening(const Port_settings &settings);
    // One per decoded status message, after its acknowledgement was taken.
    void status_received(const Unit_status &status);
    // Once per read of the port that brought a status, after every signal of
    // its frames, with the latest. A view draws from this: nothing of the
    // statuses before it in the same read could have reached the screen.
    void read_finished(const Unit_status &latest);
    void crc_mismatch();
    // A message whose CRC matched but that is too short for its own version.
    void short_message();
    void acknowledged();
    // A control frame went out on the line, with these values.
    void control_sent(const Control_payload &values);
    void ack_timed_out();
    void link_changed(Link_watchdog::Verdict verdict);
    // Whether the unit's values are known changed (and once at the first
    // judgement): what the records and the exporter tell, where the window
    // shows link_changed.
    void values_known_changed(Link_watchdog::Values values);
    void connection_announced(const Unit_status &status);
    // A lost port is tried once a second until it opens again, another one
    // is opened, or the port is closed.
    void port_lost(const QString &error);
    // The port opened: at once for a device, once connected and set up
    // across the network.
    void port_opened();
    // A port to be kept trying could not be opened, or a port across the
    // network could not be reached.
    void port_unavailable(const QString &error);
    void port_reopened();
    // What the operator's editors should show.
    void gain_changed(int input, double db);
    void threshold_changed(int dbm);

private:
    // Whether the frame brought a status.
    bool on_good_frame(qint64 now_ms);
    void on_bad_frame(qint64 now_ms);
    void on_frame_written(const QByteArray &frame);
    void announce_connection();
    void refresh();
    void send(const Control_payload &values);

    Serial_channel *channel;
    QTimer *watchdog_timer;
    QTimer *refresh_timer;
    Operator_settings *operator_settings;
    const Session_timing::Clock clock;
    Frame_receiver receiver;
    Link_watchdog watchdog;
    Unit_status status;
    bool listen_only = false;
};

#endif
