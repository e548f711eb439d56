#ifndef VELMAR_SESSION_SERIAL_CHANNEL_H
#define VELMAR_SESSION_SERIAL_CHANNEL_H

#include "session/port_settings.h"
#include "session/reconnect_backoff.h"
#include "session/session_timing.h"

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QTimer>

#include <memory>

class Line_port;

// The tool's only contact with the unit's serial line, a device here or a
// terminal server's port (Line_port). Received bytes are passed on
// unframed; frames to the unit leave one at a time, each after the unit has
// acknowledged the previous one or the acknowledgement timer has run out.
class Serial_channel : public QObject
{
    Q_OBJECT

public:
    // ack_timeout_ms: how long a frame waits for its acknowledgement;
    // reopen_ms: how often a lost port is tried again.
    Serial_channel(int ack_timeout_ms, int reopen_ms, QObject *parent = nullptr);
    // The same, with the time-outs of a line across the network from the timing too.
    explicit Serial_channel(const Session_timing &timing, QObject *parent = nullptr);
    ~Serial_channel() override;

    // Closes whatever is open first; on failure writes one debug line. A
    // port that fails here is not tried again. Bytes that were waiting on
    // the line before it opened are dropped: they are not the unit's now.
    //
    // A port across the network (rfc2217://, socket://) is only being
    // opened when this returns true: port_opened follows, or open_failed,
    // and then it is tried again as a lost one is. A terminal server is
    // there to be reached: it may be on its way back.
    bool open(const Port_settings &settings);
    // The same, but a port that cannot be opened now is tried once a second
    // from then on, as a lost one is, until it opens (port_reopened).
    bool open_or_keep_trying(const Port_settings &settings);
    // Also ends the attempts to reopen a lost port.
    void close();
    bool is_open() const;
    // Why the last open failed, or the port was lost, in words an operator
    // acts on ("not a serial device", "in use by another program", "held by
    // velmar-exporter (pid 4242)", ...).
    QString error_string() const;
    // Takes effect at once on an open port, and when a lost one is reopened;
    // open() takes the rate it is given.
    void set_baud_rate(qint32 baud_rate);

    // Queued behind the frame in flight; none is dropped or sent twice.
    void send(const QByteArray &frame);
    // Written only when nothing is in flight or queued, else dropped: a
    // periodic frame repeats the current values anyway.
    void send_if_idle(const QByteArray &frame);
    // The unit acknowledged the frame in flight: the next one goes out.
    void acknowledge();

    bool is_waiting_for_ack() const { return waiting_for_ack; }
    int queued_count() const { return queue.size(); }

Q_SIGNALS:
    void bytes_read(const QByteArray &bytes);
    // A frame went out on the line (not merely queued).
    void frame_written(const QByteArray &frame);
    // open() succeeded: at once for a device, once connected and set up for
    // a port across the network.
    void port_opened();
    // A port across the network could not be opened after open() returned.
    void open_failed(const QString &error);
    // The open port failed under us (an adapter pulled out); it is closed,
    // and opened again once a second from now on with the same settings:
    // a re-plugged adapter comes back under the same path.
    void port_lost(const QString &error);
    void port_reopened();
    void ack_timed_out();

private:
    void on_ack_timeout();
    void on_lost(const QString &error);
    void on_opened();
    void on_open_failed(const QString &error);
    void try_reopen();
    void schedule_reopen();
    bool open_port();
    // False for a bad URL.
    bool use_port(const QString &name);
    void send_next();

    std::unique_ptr<Line_port> port;
    QTimer *ack_timer;
    QTimer *reopen_timer;
    QList<QByteArray> queue;
    const Session_timing timing;
    Reconnect_backoff backoff;
    qint32 baud_rate = Port_settings::default_baud_rate;
    bool waiting_for_ack = false;
    // Why a port named by a bad URL was not opened: it has no Line_port.
    QString url_error;
    // The name the port was opened by, as given.
    QString port_name;
    // While a port across the network opens: whether its outcome is that of
    // open() (port_opened, open_failed) or of a later attempt (port_reopened).
    bool first_attempt = false;
};

#endif
