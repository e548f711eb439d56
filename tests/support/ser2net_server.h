#ifndef VELMAR_TESTS_SER2NET_SERVER_H
#define VELMAR_TESTS_SER2NET_SERVER_H

#include <QtCore/QProcess>
#include <QtCore/QString>
#include <QtCore/QTemporaryDir>

// Debian's ser2net as a child process, serving one device (a simulated
// unit's pseudo-terminal) on a loopback TCP port that it picks itself the
// first time and keeps when started again, as a terminal server comes back
// under its address. Signals go to the child only while it runs.
class Ser2net_server
{
public:
    enum class Mode
    {
        rfc2217, // telnet with the COM-PORT-OPTION: the client sets the line
        raw,     // the bytes alone, the line at the rate of the configuration
    };

    // The rate the configuration gives the line, which a raw client keeps.
    static constexpr int configured_baud_rate = 115200;
    static constexpr int start_timeout_ms = 5000;

    Ser2net_server(Mode mode, const QString &device);
    ~Ser2net_server();

    // True once it listens; a port someone else took meanwhile is given up
    // for another on the first start, and a start again is tried again.
    bool start();
    // SIGKILL, as a power cut, and waits until it is gone.
    void kill();
    // SIGSTOP and SIGCONT: a server that stops answering without closing
    // anything, as one behind a pulled cable.
    bool pause();
    bool resume();
    bool is_running() const { return process.state() == QProcess::Running; }

    quint16 port() const { return tcp_port; }
    // rfc2217://127.0.0.1:PORT or socket://127.0.0.1:PORT
    QString url() const;

private:
    bool start_on(quint16 port);
    bool signal(int number);
    bool listening() const;

    const Mode mode;
    const QString device;
    QTemporaryDir dir;
    QProcess process;
    quint16 tcp_port = 0;
};

// A loopback TCP port nobody listens on now.
quint16 unused_loopback_port();

#endif
