#ifndef VELMAR_LINK_SERIAL_PORT_H
#define VELMAR_LINK_SERIAL_PORT_H

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QTimer>
#include <QtSerialPort/QSerialPort>

// The tool's only contact with the serial device. Received bytes are passed
// on unframed; outgoing frames leave one at a time, each after the unit has
// acknowledged the previous one or the acknowledgement timer has run out.
class Serial_port : public QObject
{
    Q_OBJECT

public:
    static constexpr int ack_timeout_ms = 1000;

    Serial_port();
    ~Serial_port() override;

    bool open_port(const QString &name, int baud_rate);
    void close_port();
    void set_baud_rate(int baud_rate);
    void send_msg(const QByteArray &packet);
    void send_monotone_msg(const QByteArray &packet);

    bool is_waiting_for_ack() const { return wait_ack; }
    int queued_count() const { return tx_queue.size(); }

Q_SIGNALS:
    void signal_serial_port_read(QByteArray data);
    // The open port failed under us (an adapter pulled out): it has been
    // closed, and nothing reopens it until the operator selects a port.
    void signal_port_lost();

private Q_SLOTS:
    void serial_read();
    void ack_recieved_and_send_new_msg();
    void serial_port_timeout();
    void port_error(QSerialPort::SerialPortError error);

private:
    friend class MainWindow;
    void send_next_msg();

    QSerialPort *port;
    QList<QByteArray> tx_queue;
    bool wait_ack;
    QTimer ack_timer;
};

#endif
