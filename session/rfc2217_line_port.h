#ifndef VELMAR_SESSION_RFC2217_LINE_PORT_H
#define VELMAR_SESSION_RFC2217_LINE_PORT_H

#include "session/tcp_line_port.h"
#include "session/telnet_codec.h"
#include "session/telnet_options.h"

#include <QtCore/QStringList>

#include <deque>
#include <vector>

// A serial line on a terminal server's telnet port with the COM-PORT-OPTION
// of RFC 2217 (rfc2217://HOST:PORT): this side sets the line as it would a
// local one, the rate asked for with 8 data bits, no parity, one stop bit
// and no flow control, and purges the server's buffers at every open.
//
// The line is open once the server has agreed to the option and answered
// the rate with the same rate. A server that refuses either is a failed
// open, not a line at a silently wrong rate. The other settings need no
// answer: some servers never give one (a pseudo-terminal has no flow
// control to set), and an answer that never comes must not hold the line
// back; an answer that contradicts them fails the line all the same.
class Rfc2217_line_port : public Tcp_line_port
{
    Q_OBJECT

public:
    Rfc2217_line_port(const Port_url &url, int connect_timeout_ms, int answer_timeout_ms,
                      QObject *parent = nullptr);

    // What this side calls itself when the server asks.
    static const QByteArray &signature();

    void set_baud_rate(qint32 baud_rate) override;

protected:
    void begin_line() override;
    void take(QByteArray &bytes) override;
    QByteArray encoded(const QByteArray &data) const override;

private:
    static Telnet_options fresh_options();
    void negotiate(const Telnet_codec::Command &command);
    void take_answer(const QByteArray &parameters);
    void take_rate(qint32 answered);
    void check_setting(uint8_t answered, uint8_t wanted, const QString &setting);
    void configure();
    void ask_rate(qint32 baud_rate);
    void ask(uint8_t command, const QByteArray &value);
    void on_answer_overdue();
    void open_when_answered();

    const int answer_timeout_ms;
    Telnet_codec codec;
    Telnet_options options;
    std::vector<Telnet_codec::Command> commands;
    // Rates asked for and not answered yet, oldest first: the server
    // answers each in turn with the rate it set.
    std::deque<qint32> rates_asked;
    // Settings asked for whose answer opening waits for, at most
    // answer_timeout_ms: its command codes.
    std::vector<uint8_t> awaited;
    bool configured = false;
    QTimer answer_timer;
};

#endif
