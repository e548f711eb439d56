#include "session/telnet_codec.h"

#include "session/telnet.h"

void Telnet_codec::decode(QByteArray &bytes, std::vector<Command> *commands)
{
    char *kept = bytes.data();
    const int received = bytes.size();
    int size = 0;
    for (int at = 0; at < received; ++at) {
        const char character = kept[at];
        const auto byte = static_cast<uint8_t>(character);
        switch (state) {
        case State::data:
            if (byte == telnet::iac)
                state = State::command;
            else
                kept[size++] = character;
            break;
        case State::command:
            if (take_command(byte))
                kept[size++] = character;
            break;
        case State::option:
            commands->push_back({verb, byte, QByteArray()});
            state = State::data;
            break;
        case State::sub_option:
            sub.verb = telnet::sb;
            sub.option = byte;
            sub.parameters.resize(0);
            state = State::sub_data;
            break;
        case State::sub_data:
            if (byte == telnet::iac)
                state = State::sub_command;
            else if (sub.parameters.size() < max_parameters)
                sub.parameters.append(character);
            break;
        case State::sub_command:
            if (byte == telnet::iac) {
                if (sub.parameters.size() < max_parameters)
                    sub.parameters.append(character);
                state = State::sub_data;
                break;
            }
            // IAC SE ends it; any other command ends it too, and counts.
            commands->push_back(sub);
            state = State::data;
            if (byte != telnet::se && take_command(byte))
                kept[size++] = character;
            break;
        }
    }
    bytes.resize(size);
}

bool Telnet_codec::take_command(uint8_t byte)
{
    state = State::data;
    switch (byte) {
    case telnet::iac:
        return true;
    case telnet::sb:
        state = State::sub_option;
        return false;
    case telnet::will:
    case telnet::wont:
    case telnet::do_:
    case telnet::dont:
        verb = byte;
        state = State::option;
        return false;
    default:
        return false;
    }
}

void Telnet_codec::reset()
{
    state = State::data;
    sub = Command();
}

QByteArray Telnet_codec::escaped(const QByteArray &data)
{
    QByteArray wire;
    wire.reserve(data.size() + data.count(static_cast<char>(telnet::iac)));
    for (const char byte : data) {
        wire.append(byte);
        if (static_cast<uint8_t>(byte) == telnet::iac)
            wire.append(byte);
    }
    return wire;
}

QByteArray Telnet_codec::negotiation(uint8_t verb, uint8_t option)
{
    const char bytes[] = {static_cast<char>(telnet::iac), static_cast<char>(verb),
                          static_cast<char>(option)};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray Telnet_codec::subnegotiation(uint8_t option, const QByteArray &parameters)
{
    const char start[] = {static_cast<char>(telnet::iac), static_cast<char>(telnet::sb),
                          static_cast<char>(option)};
    const char end[] = {static_cast<char>(telnet::iac), static_cast<char>(telnet::se)};
    return QByteArray(start, sizeof start) + escaped(parameters) + QByteArray(end, sizeof end);
}
