#ifndef VELMAR_SESSION_TELNET_OPTIONS_H
#define VELMAR_SESSION_TELNET_OPTIONS_H

#include <QtCore/QByteArray>

#include <array>
#include <bitset>
#include <cstdint>
#include <vector>

// Where each telnet option stands between this side and the other, with the
// reply every negotiation needs (RFC 1143, without its queue): a request
// that would change an option's state is answered once, agreeing or
// refusing; one that confirms the state it is in is not answered, so that
// two sides never loop.
class Telnet_options
{
public:
    // The options this side performs when asked (WILL), and those it lets
    // the other side perform (DO); every other one is refused.
    Telnet_options(const std::vector<uint8_t> &performed, const std::vector<uint8_t> &allowed);

    // This side asks to perform the option, or the other side to: the
    // bytes to send, empty when it is on already or was asked.
    QByteArray offer(uint8_t option);
    QByteArray request(uint8_t option);
    // The reply to IAC verb option from the other side; empty when none is due.
    QByteArray answer(uint8_t verb, uint8_t option);

    bool performs(uint8_t option) const { return local[option] == State::yes; }
    bool other_performs(uint8_t option) const { return remote[option] == State::yes; }
    // The other side answered this side's offer of the option with DONT.
    bool refused(uint8_t option) const { return refusals[option]; }
    // An offer or request still unanswered. This side never asks to turn an
    // option off: it only ever wants more of what it asked for.
    bool waiting() const;

private:
    enum class State : uint8_t
    {
        no,
        yes,
        want_yes, // asked, not answered yet
    };

    // One side of an option moved by the other side's word: yes (WILL, DO)
    // or no (WONT, DONT). Returns the reply's verb, 0 for none.
    static uint8_t move(State &state, bool yes, bool acceptable, uint8_t agree, uint8_t disagree,
                        bool *refused);

    std::array<State, 256> local{};  // what this side performs
    std::array<State, 256> remote{}; // what the other side performs
    std::bitset<256> performed_ok;
    std::bitset<256> allowed_ok;
    std::bitset<256> refusals;
};

#endif
