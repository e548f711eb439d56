#include "session/session.h"

#include "protocol/frame.h"
#include "protocol/status_decoder.h"
#include "protocol/status_layout.h"
#include "session/serial_channel.h"

#include <QtCore/QDebug>
#include <QtCore/QTimer>

Session::Session(const Session_timing &timing, QObject *parent)
    : QObject(parent), channel(new Serial_channel(timing, this)), watchdog_timer(new QTimer(this)),
      refresh_timer(new QTimer(this)), operator_settings(new Operator_settings(this)),
      clock(timing.clock)
{
    qRegisterMetaType<Unit_status>();
    qRegisterMetaType<Link_watchdog::Verdict>();
    qRegisterMetaType<Link_watchdog::Values>();
    connect(channel, &Serial_channel::bytes_read, this, &Session::receive);
    connect(channel, &Serial_channel::frame_written, this, &Session::on_frame_written);
    connect(channel, &Serial_channel::port_lost, this, [this](const QString &error) {
        watchdog.port_lost();
        Q_EMIT port_lost(error);
    });
    connect(channel, &Serial_channel::port_opened, this, &Session::port_opened);
    connect(channel, &Serial_channel::open_failed, this, &Session::port_unavailable);
    connect(channel, &Serial_channel::port_reopened, this, [this] {
        watchdog.port_opened();
        Q_EMIT port_reopened();
    });
    connect(channel, &Serial_channel::ack_timed_out, this, &Session::ack_timed_out);
    connect(watchdog_timer, &QTimer::timeout, this, &Session::check_link);
    connect(refresh_timer, &QTimer::timeout, this, &Session::refresh);
    connect(operator_settings, &Operator_settings::gain_shown, this, &Session::gain_changed);
    connect(operator_settings, &Operator_settings::threshold_shown, this,
            &Session::threshold_changed);
    connect(operator_settings, &Operator_settings::frame_wanted, this, &Session::send);
    refresh_timer->setInterval(timing.refresh_ms);
    // The watchdog runs whether or not a port is open: no port is silence too.
    watchdog_timer->start(timing.watchdog_ms);
}

Session::~Session() = default;

bool Session::open_port(const Port_settings &settings)
{
    Q_EMIT port_opening(settings);
    watchdog.port_opened();
    return channel->open(settings);
}

bool Session::open_port_or_keep_trying(const Port_settings &settings)
{
    Q_EMIT port_opening(settings);
    watchdog.port_opened();
    if (channel->open_or_keep_trying(settings))
        return true;
    Q_EMIT port_unavailable(channel->error_string());
    return false;
}

bool Session::port_is_open() const
{
    return channel->is_open();
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
    if (bytes.isEmpty())
        return;
    // One time for the whole read: its frames arrived together.
    const qint64 now_ms = clock();
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    bool decoded = false;
    for (int i = 0; i < bytes.size(); ++i) {
        switch (receiver.push(data[i])) {
        case Frame_receiver::Event::crc_good:
            decoded = on_good_frame(now_ms) || decoded;
            break;
        case Frame_receiver::Event::crc_bad:
            on_bad_frame(now_ms);
            break;
        case Frame_receiver::Event::dropped:
        case Frame_receiver::Event::none:
            break;
        }
    }
    if (decoded)
        Q_EMIT read_finished(status);
}

bool Session::on_good_frame(qint64 now_ms)
{
    const uint8_t *payload = receiver.payload();
    const Status_decoder::Outcome outcome =
        Status_decoder::decode(payload, receiver.completed_length(), status);
    // Even a message too short to decode says which version the unit speaks.
    watchdog.frame_completed(true, payload[status::version_offset], outcome.decoded, now_ms);
    // The channel sends its next queued frame before anything else happens.
    if (outcome.acknowledged) {
        channel->acknowledge();
        Q_EMIT acknowledged();
    }
    if (!outcome.decoded) {
        qDebug() << "Short status message dropped";
        Q_EMIT short_message();
        return false;
    }
    if (outcome.dante_invalid)
        qDebug() << "Invalid message from dante submodule";
    Q_EMIT status_received(status);
    return true;
}

void Session::on_bad_frame(qint64 now_ms)
{
    watchdog.frame_completed(false, receiver.payload()[status::version_offset], false, now_ms);
    qDebug() << "crc mismatch";
    Q_EMIT crc_mismatch();
}

void Session::on_frame_written(const QByteArray &frame)
{
    const auto *bytes = reinterpret_cast<const uint8_t *>(frame.constData());
    Control_payload values;
    if (frame.size() > static_cast<int>(frame::header_size) &&
        Control_payload::parse(
            bytes + frame::header_size,
            static_cast<std::size_t>(frame.size()) - frame::header_size - frame::crc_size, &values))
        Q_EMIT control_sent(values);
}

void Session::check_link()
{
    const Link_watchdog::Verdict before = watchdog.verdict();
    const Link_watchdog::Values values_before = watchdog.values();
    const Link_watchdog::Tick tick = watchdog.tick();
    if (tick.verdict != before)
        Q_EMIT link_changed(tick.verdict);
    if (tick.values != values_before)
        Q_EMIT values_known_changed(tick.values);
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
    operator_settings->take_reported_threshold(status.threshold_dbm);
    operator_settings->take_reported_gains(status.dante);
    refresh_timer->start();
}

void Session::refresh()
{
    channel->send_if_idle(operator_settings->values().frame());
}

void Session::send(const Control_payload &values)
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
    operator_settings->enter_gain(input, db, status.dante);
}

void Session::load_reported_gains()
{
    operator_settings->take_reported_gains(status.dante);
}

void Session::apply_threshold(int dbm)
{
    operator_settings->apply_threshold(dbm);
}

void Session::restore_defaults()
{
    operator_settings->restore_defaults(status.dante);
}

void Session::apply(const Control_payload &wanted)
{
    operator_settings->apply(wanted);
}
