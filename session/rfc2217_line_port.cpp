#include "session/rfc2217_line_port.h"

#include "session/telnet.h"

#include <QtCore/QDebug>
#include <QtCore/QtEndian>

#include <algorithm>

namespace {

namespace cp = telnet::com_port;

constexpr int rate_bytes = 4;
// Flow controls a server may answer SET-CONTROL with: either would take
// the unit's own bytes 0x11 and 0x13, or wait on wires nobody drives.
constexpr uint8_t control_xon_xoff = 2;
constexpr uint8_t control_hardware = 3;

QByteArray one_byte(uint8_t value)
{
    return QByteArray(1, static_cast<char>(value));
}

} // namespace

Rfc2217_line_port::Rfc2217_line_port(const Port_url &url, int connect_timeout_ms,
                                     int answer_timeout_ms, QObject *parent)
    : Tcp_line_port(url, connect_timeout_ms, parent), answer_timeout_ms(answer_timeout_ms),
      options(fresh_options())
{
    answer_timer.setSingleShot(true);
    connect(&answer_timer, &QTimer::timeout, this, &Rfc2217_line_port::on_answer_overdue);
}

const QByteArray &Rfc2217_line_port::signature()
{
    static const QByteArray name = QByteArrayLiteral("velmar");
    return name;
}

Telnet_options Rfc2217_line_port::fresh_options()
{
    // The options any serial client of a terminal server agrees to, no more:
    // no echo, no terminal type, no window size.
    return Telnet_options(
        {telnet::option::binary, telnet::option::suppress_go_ahead, telnet::option::com_port},
        {telnet::option::binary, telnet::option::suppress_go_ahead});
}

void Rfc2217_line_port::begin_line()
{
    codec.reset();
    options = fresh_options();
    rates_asked.clear();
    awaited.clear();
    configured = false;
    // Binary both ways: the unit's frames carry CR and NUL bytes that a
    // telnet in its default mode may rewrite.
    send_raw(options.offer(telnet::option::binary) + options.request(telnet::option::binary) +
             options.offer(telnet::option::com_port));
    answer_timer.start(answer_timeout_ms);
}

void Rfc2217_line_port::take(QByteArray &bytes)
{
    commands.clear();
    codec.decode(bytes, &commands);
    // A command may close the line: its bytes then go nowhere.
    for (const Telnet_codec::Command &command : commands) {
        if (current_phase() == Phase::closed)
            return;
        if (command.verb == telnet::sb) {
            if (command.option == telnet::option::com_port)
                take_answer(command.parameters);
        } else {
            negotiate(command);
        }
    }
    // What arrives before the line is open was waiting on the server
    // before the purge: not what the unit says now.
    Tcp_line_port::take(bytes);
}

QByteArray Rfc2217_line_port::encoded(const QByteArray &data) const
{
    return Telnet_codec::escaped(data);
}

void Rfc2217_line_port::negotiate(const Telnet_codec::Command &command)
{
    send_raw(options.answer(command.verb, command.option));
    if (command.option != telnet::option::com_port)
        return;
    if (options.performs(telnet::option::com_port)) {
        if (!configured)
            configure();
    } else if (options.refused(telnet::option::com_port) || configured) {
        fail(tr("the server refuses RFC 2217 (the telnet COM-PORT-OPTION): is it a "
                "telnet(rfc2217) port?"));
    }
}

void Rfc2217_line_port::configure()
{
    configured = true;
    ask_rate(baud_rate());
    ask(cp::set_data_size, one_byte(cp::data_size_8));
    ask(cp::set_parity, one_byte(cp::parity_none));
    ask(cp::set_stop_size, one_byte(cp::stop_size_1));
    ask(cp::set_control, one_byte(cp::control_no_flow));
    // Last, so that its answer comes after every byte the server held.
    ask(cp::purge_data, one_byte(cp::purge_both));
    awaited = {cp::set_data_size, cp::set_parity, cp::set_stop_size, cp::purge_data};
    answer_timer.start(answer_timeout_ms);
}

void Rfc2217_line_port::set_baud_rate(qint32 baud_rate)
{
    Tcp_line_port::set_baud_rate(baud_rate);
    // Before the option is agreed, configure() asks for it.
    if (configured && current_phase() != Phase::closed) {
        ask_rate(baud_rate);
        answer_timer.start(answer_timeout_ms);
    }
}

void Rfc2217_line_port::ask_rate(qint32 baud_rate)
{
    QByteArray value(rate_bytes, '\0');
    qToBigEndian(static_cast<quint32>(baud_rate), value.data());
    rates_asked.push_back(baud_rate);
    ask(cp::set_baud_rate, value);
}

void Rfc2217_line_port::ask(uint8_t command, const QByteArray &value)
{
    send_raw(Telnet_codec::subnegotiation(telnet::option::com_port, one_byte(command) + value));
}

void Rfc2217_line_port::take_answer(const QByteArray &parameters)
{
    if (parameters.isEmpty())
        return;
    const auto command = static_cast<uint8_t>(parameters[0]);
    const QByteArray value = parameters.mid(1);
    if (command == cp::signature + cp::server_offset) {
        // An empty signature from the server asks for this side's.
        if (value.isEmpty())
            ask(cp::signature, signature());
        return;
    }
    if (command < cp::server_offset || value.isEmpty())
        return;
    const uint8_t answered = static_cast<uint8_t>(value[0]);
    switch (command - cp::server_offset) {
    case cp::set_baud_rate:
        if (value.size() >= rate_bytes)
            take_rate(static_cast<qint32>(qFromBigEndian<quint32>(value.constData())));
        break;
    case cp::set_data_size:
        check_setting(answered, cp::data_size_8, tr("8 data bits"));
        break;
    case cp::set_parity:
        check_setting(answered, cp::parity_none, tr("no parity"));
        break;
    case cp::set_stop_size:
        check_setting(answered, cp::stop_size_1, tr("one stop bit"));
        break;
    case cp::set_control:
        if (answered == control_xon_xoff || answered == control_hardware)
            fail(tr("the server keeps flow control on (answer %1)").arg(answered));
        break;
    default:
        break;
    }
    if (current_phase() == Phase::closed)
        return;
    awaited.erase(std::remove(awaited.begin(), awaited.end(), command - cp::server_offset),
                  awaited.end());
    open_when_answered();
}

void Rfc2217_line_port::take_rate(qint32 answered)
{
    if (rates_asked.empty())
        return;
    const qint32 asked = rates_asked.front();
    rates_asked.pop_front();
    if (answered != asked)
        fail(tr("the server refuses %1 baud: it answers %2 baud").arg(asked).arg(answered));
}

void Rfc2217_line_port::check_setting(uint8_t answered, uint8_t wanted, const QString &setting)
{
    if (answered != wanted)
        fail(tr("the server refuses %1: it answers %2").arg(setting).arg(answered));
}

void Rfc2217_line_port::open_when_answered()
{
    if (!rates_asked.empty() || (current_phase() == Phase::negotiating && !awaited.empty()))
        return;
    answer_timer.stop();
    if (current_phase() == Phase::negotiating)
        finish_opening();
}

void Rfc2217_line_port::on_answer_overdue()
{
    const QString wait = seconds(answer_timeout_ms);
    if (!configured) {
        fail(tr("no answer to the COM-PORT-OPTION within %1 s: is it a telnet(rfc2217) port?")
                 .arg(wait));
        return;
    }
    if (!rates_asked.empty()) {
        fail(tr("no answer to the rate of %1 baud within %2 s").arg(rates_asked.front()).arg(wait));
        return;
    }
    // Settings a server does not answer are taken as set: an answer that
    // never comes must not hold the line back.
    if (!awaited.empty())
        qDebug() << name() << "No answer from the server to" << awaited.size()
                 << "line settings; taken as set";
    awaited.clear();
    open_when_answered();
}
