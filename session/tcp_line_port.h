#ifndef VELMAR_SESSION_TCP_LINE_PORT_H
#define VELMAR_SESSION_TCP_LINE_PORT_H

#include "session/line_port.h"
#include "session/port_url.h"

#include <QtCore/QTimer>
#include <QtNetwork/QAbstractSocket>
#include <QtNetwork/QTcpSocket>

// A serial line on a terminal server's raw TCP port (socket://HOST:PORT):
// the bytes are the line's, and the server has set its rate. Connecting runs
// on the event loop and gives up after connect_timeout_ms. TCP keepalive
// probes a quiet connection after a few seconds, so that a server gone
// without a word (power cut, cable pulled) makes the line lost within
// seconds, not the system's two hours.
class Tcp_line_port : public Line_port
{
    Q_OBJECT

public:
    Tcp_line_port(const Port_url &url, int connect_timeout_ms, QObject *parent = nullptr);
    ~Tcp_line_port() override;

    // Keepalive: the first probe after this many quiet seconds, then one a
    // second; this many unanswered probes end the connection.
    static constexpr int keepalive_idle_s = 2;
    static constexpr int keepalive_interval_s = 1;
    static constexpr int keepalive_probes = 3;
    // Bytes written and not acknowledged by the server for this long end it too.
    static constexpr int unacknowledged_ms = 5000;

    QString name() const override { return url.text; }
    bool open(qint32 baud_rate) override;
    void close() override;
    bool is_open() const override { return phase == Phase::open; }
    QString error_string() const override { return error_text; }
    bool backs_off() const override { return true; }
    void set_baud_rate(qint32 baud_rate) override { rate = baud_rate; }
    qint64 write(const QByteArray &bytes) override;

protected:
    enum class Phase
    {
        closed,
        connecting,
        negotiating, // connected; the line is being set up
        open,
    };

    Phase current_phase() const { return phase; }
    qint32 baud_rate() const { return rate; }
    // Connected: a raw line is open at once.
    virtual void begin_line();
    // Bytes as they came off the connection; a raw line's are all data.
    virtual void take(QByteArray &bytes);
    // Data as it goes on the wire.
    virtual QByteArray encoded(const QByteArray &data) const { return data; }

    // A time-out for a message: "2", "0.4".
    static QString seconds(int ms);
    void finish_opening();
    // Ends the connection: open_failed while opening, lost once open.
    void fail(const QString &error);
    void send_raw(const QByteArray &bytes);

private:
    void on_connected();
    void on_ready_read();
    void on_socket_error(QAbstractSocket::SocketError error);
    void keep_alive();

    const Port_url url;
    const int connect_timeout_ms;
    QTcpSocket socket;
    QTimer connect_timer;
    Phase phase = Phase::closed;
    qint32 rate = 0;
    int attempts = 0; // the latest open() is the one that connects
    QString error_text;
};

#endif
