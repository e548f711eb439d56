#include "session/tcp_line_port.h"

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

Tcp_line_port::Tcp_line_port(const Port_url &url, int connect_timeout_ms, QObject *parent)
    : Line_port(parent), url(url), connect_timeout_ms(connect_timeout_ms)
{
    connect_timer.setSingleShot(true);
    connect(&connect_timer, &QTimer::timeout, this, [this] {
        fail(tr("no connection within %1 s").arg(seconds(this->connect_timeout_ms)));
    });
    connect(&socket, &QTcpSocket::connected, this, &Tcp_line_port::on_connected);
    connect(&socket, &QTcpSocket::readyRead, this, &Tcp_line_port::on_ready_read);
    connect(&socket, &QAbstractSocket::errorOccurred, this, &Tcp_line_port::on_socket_error);
    // A server that closes its end cleanly says so only by this.
    connect(&socket, &QTcpSocket::disconnected, this,
            [this] { fail(tr("the server closed the connection")); });
}

Tcp_line_port::~Tcp_line_port()
{
    phase = Phase::closed;
    socket.abort();
}

QString Tcp_line_port::seconds(int ms)
{
    constexpr double ms_per_second = 1000.0;
    return QString::number(ms / ms_per_second);
}

bool Tcp_line_port::open(qint32 baud_rate)
{
    close();
    rate = baud_rate;
    error_text.clear();
    phase = Phase::connecting;
    connect_timer.start(connect_timeout_ms);
    // From the event loop: whatever the outcome, it comes after open()
    // returned, to whoever listens by then. A name is looked up on Qt's own
    // thread: nothing here waits for it.
    const int attempt = ++attempts;
    QMetaObject::invokeMethod(
        this,
        [this, attempt] {
            if (phase == Phase::connecting && attempt == attempts)
                socket.connectToHost(url.host, url.port);
        },
        Qt::QueuedConnection);
    return true;
}

void Tcp_line_port::close()
{
    phase = Phase::closed;
    connect_timer.stop();
    socket.abort();
}

qint64 Tcp_line_port::write(const QByteArray &bytes)
{
    if (phase != Phase::open)
        return -1;
    return socket.write(encoded(bytes)) < 0 ? -1 : bytes.size();
}

void Tcp_line_port::on_connected()
{
    if (phase != Phase::connecting)
        return;
    keep_alive();
    phase = Phase::negotiating;
    begin_line();
}

void Tcp_line_port::begin_line()
{
    finish_opening();
}

void Tcp_line_port::finish_opening()
{
    connect_timer.stop();
    phase = Phase::open;
    Q_EMIT opened();
}

void Tcp_line_port::on_ready_read()
{
    if (phase == Phase::closed || phase == Phase::connecting)
        return;
    QByteArray bytes = socket.readAll();
    take(bytes);
}

void Tcp_line_port::take(QByteArray &bytes)
{
    if (phase == Phase::open && !bytes.isEmpty())
        Q_EMIT received(bytes);
}

void Tcp_line_port::send_raw(const QByteArray &bytes)
{
    if (!bytes.isEmpty() && phase != Phase::closed)
        socket.write(bytes);
}

void Tcp_line_port::on_socket_error(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError)
        fail(tr("the server closed the connection"));
    else
        fail(socket.errorString());
}

void Tcp_line_port::fail(const QString &error)
{
    const Phase was = phase;
    if (was == Phase::closed)
        return;
    phase = Phase::closed;
    connect_timer.stop();
    error_text = error;
    socket.abort();
    if (was == Phase::open)
        Q_EMIT lost(error);
    else
        Q_EMIT open_failed(error);
}

void Tcp_line_port::keep_alive()
{
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    // A control frame should not wait for more bytes to fill a segment.
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
#ifdef Q_OS_LINUX
    const auto descriptor = static_cast<int>(socket.socketDescriptor());
    const int idle = keepalive_idle_s;
    const int interval = keepalive_interval_s;
    const int probes = keepalive_probes;
    const unsigned int unacknowledged = unacknowledged_ms;
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledged, sizeof unacknowledged);
#endif
}
