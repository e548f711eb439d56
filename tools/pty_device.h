#ifndef VELMAR_TOOLS_PTY_DEVICE_H
#define VELMAR_TOOLS_PTY_DEVICE_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

// The master side of a pseudo-terminal in raw mode. Whoever opens slave_path()
// (the tool's QSerialPort, in tests and on the bench) talks to whoever holds
// this object, as over a null-modem cable.
class Pty_device
{
public:
    Pty_device();
    ~Pty_device();
    Pty_device(const Pty_device &) = delete;
    Pty_device &operator=(const Pty_device &) = delete;

    bool open();
    void close();
    bool is_open() const { return master_fd >= 0; }
    int fd() const { return master_fd; }
    QString slave_path() const { return path; }
    QString error_string() const { return error; }

    // Writes everything, waiting while the line's buffer is full. Returns
    // false when the other side is gone.
    bool write_all(const QByteArray &bytes);
    // Reads what is there within timeout_ms (0: only what is already there).
    QByteArray read_available(int timeout_ms);

private:
    int master_fd = -1;
    int slave_keepalive_fd = -1;
    QString path;
    QString error;
};

#endif
