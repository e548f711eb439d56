#include "support/ser2net_server.h"

#include <QtCore/QFile>
#include <QtTest/QTest>

#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int start_attempts = 3;
constexpr int exit_timeout_ms = 5000;
constexpr char listen_state[] = "0A";

} // namespace

quint16 unused_loopback_port()
{
    const int descriptor = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    quint16 port = 0;
    if (descriptor >= 0 && ::bind(descriptor, reinterpret_cast<sockaddr *>(&address), size) == 0 &&
        ::getsockname(descriptor, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (descriptor >= 0)
        ::close(descriptor);
    return port;
}

Ser2net_server::Ser2net_server(Mode mode, const QString &device) : mode(mode), device(device)
{
    process.setProgram(QStringLiteral("ser2net"));
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
}

Ser2net_server::~Ser2net_server()
{
    kill();
}

QString Ser2net_server::url() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(mode == Mode::rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("socket"))
        .arg(tcp_port);
}

bool Ser2net_server::start()
{
    // Started again under its address, it may find the address not yet free of
    // the server it replaces and end at once: it is tried there again.
    const quint16 address = tcp_port; // none yet on the first start
    for (int attempt = 0; attempt < start_attempts; ++attempt) {
        if (start_on(address != 0 ? address : unused_loopback_port()))
            return true;
    }
    return false;
}

bool Ser2net_server::start_on(quint16 port)
{
    kill();
    tcp_port = port;
    const QString accepter =
        mode == Mode::rfc2217 ? QStringLiteral("telnet(rfc2217),tcp") : QStringLiteral("tcp");
    // -n: in the foreground; -u: no lock file for the pseudo-terminal; the
    // pid file in the test's own folder, not /run.
    process.setArguments({QStringLiteral("-n"), QStringLiteral("-u"), QStringLiteral("-P"),
                          dir.filePath(QStringLiteral("ser2net.pid")), QStringLiteral("-Y"),
                          QStringLiteral("connection: &unit"), QStringLiteral("-Y"),
                          QStringLiteral("  accepter: %1,127.0.0.1,%2").arg(accepter).arg(port),
                          QStringLiteral("-Y"),
                          QStringLiteral("  connector: serialdev,%1,%2n81,local")
                              .arg(device)
                              .arg(configured_baud_rate),
                          QStringLiteral("-Y"), QStringLiteral("  options:"), QStringLiteral("-Y"),
                          QStringLiteral("    kickolduser: true")});
    process.start();
    return QTest::qWaitFor(
               [this] { return listening() || process.state() == QProcess::NotRunning; },
               start_timeout_ms) &&
           is_running();
}

bool Ser2net_server::listening() const
{
    // The listening socket in the kernel's table, without knocking on it:
    // a connection would open the device.
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    const QByteArray local =
        QByteArray(":") + QByteArray::number(tcp_port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[1].endsWith(local) && fields[3] == listen_state)
            return true;
    }
    return false;
}

void Ser2net_server::kill()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(exit_timeout_ms);
}

bool Ser2net_server::pause()
{
    return signal(SIGSTOP);
}

bool Ser2net_server::resume()
{
    return signal(SIGCONT);
}

bool Ser2net_server::signal(int number)
{
    const qint64 pid = process.processId();
    if (!is_running() || pid <= 0)
        return false;
    return ::kill(static_cast<pid_t>(pid), number) == 0;
}
