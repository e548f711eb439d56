#ifndef VELMAR_SESSION_TELNET_CODEC_H
#define VELMAR_SESSION_TELNET_CODEC_H

#include <QtCore/QByteArray>

#include <cstdint>
#include <vector>

// The telnet byte stream: data with IAC (0xFF) doubled, and commands
// (IAC WILL/WONT/DO/DONT option, IAC SB option ... IAC SE) among it. The
// decoder keeps its place between reads, so a command or a doubled IAC may
// be split across them anywhere.
class Telnet_codec
{
public:
    struct Command
    {
        uint8_t verb = 0;      // telnet::will ... telnet::dont, or telnet::sb
        uint8_t option = 0;    // the option negotiated or subnegotiated
        QByteArray parameters; // of a subnegotiation: the bytes after the option
    };

    // A subnegotiation is cut here: none of those this side reads is longer.
    static constexpr int max_parameters = 64;

    // Leaves only the data in bytes, in place, and appends each command it
    // completes to *commands. Commands other than negotiations (NOP, GA,
    // BRK, ...) are dropped: they mean nothing on a serial line.
    void decode(QByteArray &bytes, std::vector<Command> *commands);
    // Back to the start of a stream, for a new connection.
    void reset();

    // Data as it goes on the wire: every 0xFF doubled.
    static QByteArray escaped(const QByteArray &data);
    static QByteArray negotiation(uint8_t verb, uint8_t option);
    // IAC SB option parameters IAC SE, the parameters escaped.
    static QByteArray subnegotiation(uint8_t option, const QByteArray &parameters);

private:
    enum class State : uint8_t
    {
        data,
        command,     // after IAC
        option,      // after IAC WILL/WONT/DO/DONT
        sub_option,  // after IAC SB
        sub_data,    // in a subnegotiation
        sub_command, // after IAC in a subnegotiation
    };

    // The byte after an IAC outside a subnegotiation; true when it is data.
    bool take_command(uint8_t byte);

    State state = State::data;
    uint8_t verb = 0;
    Command sub;
};

#endif
