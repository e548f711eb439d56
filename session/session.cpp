#include "session/session.h"

#include "protocol/status_decoder.h"
#include "protocol/status_layout.h"
#include "session/serial_channel.h"

#include <QtCore/QDebug>
#include <QtCore/QTimer>

#include <algorithm>

Session::Session(QObject *parent)
    : QObject(parent), channel(new Serial_channel(this)), watchdog_timer(new QTimer(this)),
      refresh_timer(new QTimer(this))
{
    qRegisterMetaType<Unit_status>();
    qRegisterMetaType<Link_watchdog::Verdict>();
    connect(channel, &Serial_channel::bytes_read, this, &Session::receive);
    connect(channel, &Serial_channel::port_lost, this, &Session::port_lost);
    connect(channel, &Serial_channel::port_reopened, this, &Session::port_reopened);
    connect(channel, &Serial_channel::ack_timed_out, this, &Session::ack_timed_out);
    connect(watchdog_timer, &QTimer::timeout, this, &Session::check_link);
    connect(refresh_timer, &QTimer::timeout, this, &Session::refresh);
    // The watchdog runs whether or not a port is open: no port is silence too.
    watchdog_timer->start(watchdog_interval_ms);
}

Session::~Session() = default;

bool Session::open_port(const Port_settings &settings)
{
    return channel->open(settings);
}

QString Session::port_error() const
{
    return channel->error_string();
}

void Session::close_port()
{
    channel->close();
}

void Session::set_baud_rate(qint32 baud_rate)
{
    channel->set_baud_rate(baud_rate);
}

void Session::receive(const QByteArray &bytes)
{
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    bool decoded = false;
    for (int i = 0; i < bytes.size(); ++i) {
        switch (receiver.push(data[i])) {
        case Frame_receiver::Event::crc_good:
            decoded = on_good_frame() || decoded;
            break;
        case Frame_receiver::Event::crc_bad:
            on_bad_frame();
            break;
        case Frame_receiver::Event::dropped:
        case Frame_receiver::Event::none:
            break;
        }
    }
    if (decoded)
        Q_EMIT read_decoded(status);
}

bool Session::on_good_frame()
{
    const uint8_t *payload = receiver.payload();
    // Even a message too short to decode says which version the unit speaks.
    watchdog.frame_completed(true, payload[status::version_offset]);
    const Status_decoder::Outcome outcome =
        Status_decoder::decode(payload, receiver.completed_length(), status);
    if (!outcome.decoded) {
        qDebug() << "Short status message dropped";
        Q_EMIT short_message();
        return false;
    }
    // The channel sends its next queued frame before anything else happens.
    if (outcome.acknowledged) {
        channel->acknowledge();
        Q_EMIT acknowledged();
    }
    if (outcome.dante_invalid)
        qDebug() << "Invalid message from dante submodule";
    Q_EMIT status_received(status);
    return true;
}

void Session::on_bad_frame()
{
    watchdog.frame_completed(false, receiver.payload()[status::version_offset]);
    qDebug() << "crc mismatch";
    Q_EMIT crc_mismatch();
}

void Session::check_link()
{
    const Link_watchdog::Verdict before = watchdog.verdict();
    const Link_watchdog::Tick tick = watchdog.tick();
    if (tick.verdict != before)
        Q_EMIT link_changed(tick.verdict);
    if (tick.announce)
        announce_connection();
    if (tick.withdraw)
        refresh_timer->stop();
}

void Session::announce_connection()
{
    Q_EMIT connection_announced(status);
    if (listen_only)
        return;
    // The threshold first, so that a gain sent back below carries it.
    put_threshold(status.threshold_dbm);
    load_reported_gains();
    refresh_timer->start(refresh_interval_ms);
}

void Session::refresh()
{
    channel->send_if_idle(values.frame());
}

void Session::send_values()
{
    channel->send(values.frame());
}

void Session::set_listen_only(bool only)
{
    listen_only = only;
    if (listen_only)
        refresh_timer->stop();
}

void Session::set_gain(int input, double db)
{
    gain_entries[input] = Gain_law::as_entered(std::clamp(db, Gain_law::min_db, Gain_law::max_db));
    convert_entry(input);
}

// The editor's conversion of what it holds into a code.
void Session::convert_entry(int input)
{
    const Gain_law::Entry entry = Gain_law::from_db(gain_entries[input]);
    values.gain_codes[input] = entry.code;
    if (!entry.on_grid) {
        // The editor snaps to the grid and takes the snapped value as a
        // change of its own, so a code that differs goes out twice.
        gain_entries[input] = Gain_law::to_db(entry.code);
        Q_EMIT gain_changed(input, gain_entries[input]);
        convert_entry(input);
    }
    send_if_gain_differs(input);
}

void Session::send_if_gain_differs(int input)
{
    if (values.gain_codes[input] != status.dante.gain_codes[input])
        send_values();
}

// As if the editor were set to db: nothing happens unless that changes what
// it holds, and it holds no more than its range.
void Session::put_gain_entry(int input, double db)
{
    const double held = std::clamp(db, Gain_law::min_db, Gain_law::max_db);
    if (held == gain_entries[input])
        return;
    gain_entries[input] = held;
    Q_EMIT gain_changed(input, held);
    convert_entry(input);
}

void Session::put_threshold(int dbm)
{
    values.threshold_dbm = static_cast<int8_t>(dbm);
    Q_EMIT threshold_changed(dbm);
}

void Session::load_reported_gains()
{
    // A reported code above the editors' range stops at their top, and the
    // editor's code then goes back to the unit.
    for (int input = 0; input < Unit_status::input_count; ++input)
        put_gain_entry(input, Gain_law::to_db(status.dante.gain_codes[input]));
}

void Session::apply_threshold(int dbm)
{
    put_threshold(
        std::clamp(dbm, Control_payload::threshold_min_dbm, Control_payload::threshold_max_dbm));
    send_values();
}

void Session::restore_defaults()
{
    put_gain_entry(0, Gain_law::default_db);
    put_gain_entry(1, Gain_law::default_db);
    put_threshold(Control_payload::default_threshold_dbm);
    send_values();
}

void Session::apply(const Control_payload &wanted)
{
    for (int input = 0; input < Unit_status::input_count; ++input) {
        values.gain_codes[input] = wanted.gain_codes[input];
        const double db = Gain_law::to_db(wanted.gain_codes[input]);
        if (db != gain_entries[input]) {
            gain_entries[input] = db;
            Q_EMIT gain_changed(input, db);
        }
    }
    put_threshold(wanted.threshold_dbm);
    send_values();
}
