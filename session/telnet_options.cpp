#include "session/telnet_options.h"

#include "session/telnet.h"
#include "session/telnet_codec.h"

#include <algorithm>

Telnet_options::Telnet_options(const std::vector<uint8_t> &performed,
                               const std::vector<uint8_t> &allowed)
{
    for (const uint8_t option : performed)
        performed_ok.set(option);
    for (const uint8_t option : allowed)
        allowed_ok.set(option);
}

QByteArray Telnet_options::offer(uint8_t option)
{
    if (local[option] != State::no)
        return QByteArray();
    local[option] = State::want_yes;
    return Telnet_codec::negotiation(telnet::will, option);
}

QByteArray Telnet_options::request(uint8_t option)
{
    if (remote[option] != State::no)
        return QByteArray();
    remote[option] = State::want_yes;
    return Telnet_codec::negotiation(telnet::do_, option);
}

QByteArray Telnet_options::answer(uint8_t verb, uint8_t option)
{
    uint8_t reply = 0;
    bool refused = false;
    switch (verb) {
    case telnet::will:
    case telnet::wont:
        reply = move(remote[option], verb == telnet::will, allowed_ok[option], telnet::do_,
                     telnet::dont, &refused);
        break;
    case telnet::do_:
    case telnet::dont:
        reply = move(local[option], verb == telnet::do_, performed_ok[option], telnet::will,
                     telnet::wont, &refused);
        if (refused)
            refusals.set(option);
        break;
    default:
        break;
    }
    return reply == 0 ? QByteArray() : Telnet_codec::negotiation(reply, option);
}

uint8_t Telnet_options::move(State &state, bool yes, bool acceptable, uint8_t agree,
                             uint8_t disagree, bool *refused)
{
    switch (state) {
    case State::no:
        if (!yes)
            return 0;
        if (!acceptable)
            return disagree;
        state = State::yes;
        return agree;
    case State::yes:
        if (yes)
            return 0;
        state = State::no;
        return disagree;
    case State::want_yes:
        state = yes ? State::yes : State::no;
        *refused = !yes;
        return 0;
    }
    return 0;
}

bool Telnet_options::waiting() const
{
    const auto pending = [](State state) { return state == State::want_yes; };
    return std::any_of(local.begin(), local.end(), pending) ||
           std::any_of(remote.begin(), remote.end(), pending);
}
