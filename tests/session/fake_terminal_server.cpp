#include "fake_terminal_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

Fake_terminal_server::Fake_terminal_server(const QByteArray &greeting, const Script &script)
    : greeting(greeting), script(script)
{
    clock.start();
    connect(&server, &QTcpServer::newConnection, this, &Fake_terminal_server::on_connection);
}

Fake_terminal_server::~Fake_terminal_server()
{
    for (const int descriptor : {filler_socket, backlog_socket}) {
        if (descriptor >= 0)
            ::close(descriptor);
    }
}

bool Fake_terminal_server::listen(bool full_backlog)
{
    if (!full_backlog) {
        const bool listening = server.listen(QHostAddress::LocalHost);
        listen_port = server.serverPort();
        return listening;
    }
    // Backlog 0 holds one connection that nobody accepts; the next SYN is
    // dropped, and its sender waits.
    backlog_socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(backlog_socket, reinterpret_cast<sockaddr *>(&address), size) != 0 ||
        ::listen(backlog_socket, 0) != 0 ||
        ::getsockname(backlog_socket, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        return false;
    listen_port = ntohs(address.sin_port);
    filler_socket = ::socket(AF_INET, SOCK_STREAM, 0);
    ::fcntl(filler_socket, F_SETFL, O_NONBLOCK);
    ::connect(filler_socket, reinterpret_cast<sockaddr *>(&address), size);
    return true;
}

QString Fake_terminal_server::url() const
{
    return QStringLiteral("rfc2217://127.0.0.1:%1").arg(listen_port);
}

void Fake_terminal_server::drop_clients(bool drop)
{
    dropping = drop;
    if (drop && client != nullptr)
        client->close();
}

void Fake_terminal_server::on_connection()
{
    while (QTcpSocket *next = server.nextPendingConnection()) {
        arrivals_ms.append(clock.elapsed());
        if (client != nullptr)
            client->deleteLater();
        client = next;
        received.clear();
        answered.fill(false, script.size());
        connect(client, &QTcpSocket::readyRead, this, &Fake_terminal_server::on_bytes);
        if (dropping)
            client->close();
        else
            client->write(greeting);
    }
}

void Fake_terminal_server::on_bytes()
{
    received += client->readAll();
    if (dropping) {
        client->close();
        return;
    }
    for (int i = 0; i < script.size(); ++i) {
        if (!answered[i] && received.contains(script[i].request)) {
            answered[i] = true;
            client->write(script[i].reply);
        }
    }
}
