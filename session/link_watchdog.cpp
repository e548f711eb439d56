#include "session/link_watchdog.h"

void Link_watchdog::frame_completed(bool crc_ok, uint8_t version, bool decoded, qint64 at_ms)
{
    if (!frames_since_tick)
        first_frame_since_tick_ms = at_ms;
    frames_since_tick = true;
    last_crc_ok = crc_ok;
    last_version = version;
    decoded_since_open = decoded_since_open || decoded;
    last_frame_ms = at_ms;
    if (!decoded)
        return;
    if (!decoded_since_tick)
        first_decoded_since_tick_ms = at_ms;
    decoded_since_tick = true;
    last_decoded_ms = at_ms;
}

void Link_watchdog::port_opened()
{
    decoded_since_open = false;
}

void Link_watchdog::port_lost()
{
    frames_since_tick = false;
    decoded_since_tick = false;
}

Link_watchdog::Tick Link_watchdog::tick()
{
    const bool was_connected = current.state == State::connected;
    const bool was_live = current.state == State::receiving || was_connected;
    Tick tick;
    if (!frames_since_tick) {
        tick.verdict = {State::silent, false, last_frame_ms};
    } else {
        const bool takes_threshold = Protocol_version::takes_threshold(last_version);
        const bool connected = takes_threshold && last_crc_ok && decoded_since_open;
        tick.verdict = {connected ? State::connected : State::receiving, takes_threshold,
                        was_live ? current.since_ms : first_frame_since_tick_ms};
    }
    const bool connected = tick.verdict.state == State::connected;
    tick.announce = connected && !was_connected;
    tick.withdraw = was_connected && !connected;
    frames_since_tick = false;
    current = tick.verdict;
    tick.values = {true, decoded_since_tick,
                   !decoded_since_tick    ? last_decoded_ms
                   : current_values.known ? current_values.since_ms
                                          : first_decoded_since_tick_ms};
    decoded_since_tick = false;
    current_values = tick.values;
    return tick;
}
