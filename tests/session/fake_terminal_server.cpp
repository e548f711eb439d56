#include "fake_terminal_server.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

namespace {

constexpr char iac = char(0xFF);
constexpr uint8_t com_port = 44;

QByteArray escaped(QByteArray bytes)
{
    return bytes.replace(iac, QByteArray(2, iac));
}

QByteArray subnegotiation(const QByteArray &parameters)
{
    return QByteArray::fromHex("fffa2c") + escaped(parameters) + QByteArray::fromHex("fff0");
}

} // namespace

Fake_terminal_server::Fake_terminal_server(const Script &script) : script(script)
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

void Fake_terminal_server::drop_client()
{
    if (client != nullptr)
        client->close();
}

void Fake_terminal_server::on_connection()
{
    while (QTcpSocket *next = server.nextPendingConnection()) {
        arrivals_ms.append(clock.elapsed());
        if (script.close_at_once) {
            next->close();
            next->deleteLater();
            continue;
        }
        delete client;
        client = next;
        negotiations.clear();
        requests.clear();
        data.clear();
        state = 0;
        connect(client, &QTcpSocket::readyRead, this, &Fake_terminal_server::on_bytes);
        client->write(script.greeting);
    }
}

void Fake_terminal_server::on_bytes()
{
    for (const char byte : client->readAll()) {
        if (script.com_port == Script::Com_port::ignore)
            data.append(byte);
        else
            take(static_cast<uint8_t>(byte));
    }
}

void Fake_terminal_server::take(uint8_t byte)
{
    switch (state) {
    case 0:
        if (byte == 0xFF)
            state = 1;
        else
            data.append(char(byte));
        return;
    case 1:
        state = 0;
        if (byte == 0xFF) {
            data.append(iac);
        } else if (byte == 0xFA) {
            state = 3;
            sub.clear();
        } else if (byte >= 0xFB) {
            state = 2;
            verb = byte;
        }
        return;
    case 2: {
        state = 0;
        negotiations.append(QByteArray(1, char(verb)) + char(byte));
        // WILL COM-PORT-OPTION is the only word answered; ser2net-like
        // greetings set up the rest.
        if (verb == 0xFB && byte == com_port)
            client->write(QByteArray::fromHex(
                script.com_port == Script::Com_port::agree ? "fffd2c" : "fffe2c"));
        return;
    }
    case 3:
        if (byte == 0xFF)
            state = 4;
        else
            sub.append(char(byte));
        return;
    default:
        state = byte == 0xFF ? 3 : 0;
        if (byte == 0xFF)
            sub.append(iac);
        else if (!sub.isEmpty() && uint8_t(sub[0]) == com_port)
            answer_request(sub.mid(1));
        return;
    }
}

void Fake_terminal_server::answer_request(const QByteArray &request)
{
    requests.append(request);
    if (request.isEmpty())
        return;
    const auto command = static_cast<uint8_t>(request[0]);
    QByteArray value = request.mid(1);
    const QByteArray answer_head(1, char(command + 100));
    switch (command) {
    case 1: // the rate
        if (script.rate_answer < 0)
            return;
        if (script.rate_answer > 0)
            value = QByteArray::fromHex(
                QByteArray::number(script.rate_answer, 16).rightJustified(8, '0'));
        client->write(subnegotiation(answer_head + value));
        return;
    case 2:
        if (script.data_size_answer >= 0)
            client->write(subnegotiation(answer_head + char(script.data_size_answer)));
        return;
    case 5:
        if (script.control_answer >= 0)
            client->write(subnegotiation(answer_head + char(script.control_answer)));
        return;
    default:
        if (script.answer_parity_stop_purge)
            client->write(subnegotiation(answer_head + value));
        // The line's bytes follow the purge, as they would on a server.
        if (command == 12)
            client->write(script.data);
        return;
    }
}
