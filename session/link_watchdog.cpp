#include "session/link_watchdog.h"

void Link_watchdog::frame_completed(bool crc_ok, uint8_t version)
{
    frames_since_tick = true;
    last_crc_ok = crc_ok;
    last_version = version;
}

Link_watchdog::Tick Link_watchdog::tick()
{
    const bool was_connected = current.state == State::connected;
    Tick tick;
    if (!frames_since_tick) {
        tick.verdict = {State::silent, false};
    } else {
        const bool takes_threshold = Protocol_version::takes_threshold(last_version);
        const bool connected = takes_threshold && last_crc_ok;
        tick.verdict = {connected ? State::connected : State::receiving, takes_threshold};
    }
    const bool connected = tick.verdict.state == State::connected;
    tick.announce = connected && !was_connected;
    tick.withdraw = was_connected && !connected;
    frames_since_tick = false;
    current = tick.verdict;
    return tick;
}
