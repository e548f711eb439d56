#ifndef VELMAR_SIMULATOR_PTY_DEVICE_H
#define VELMAR_SIMULATOR_PTY_DEVICE_H

#include "simulator/line_settings.h"

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
    // Writes what the line takes now without waiting: the number of bytes
    // written (0 when the line is full), or -1 when the other side is gone.
    qint64 write_some(const char *data, qint64 size);
    // Reads what is there within timeout_ms (0: only what is already there).
    QByteArray read_available(int timeout_ms);

    // The line as the slave side's last opener set it: a pseudo-terminal
    // carries no rate, but keeps the one it was given.
    Line_settings line_settings() const;

    // Bytes written here that nobody has read from the slave side yet.
    int unread_by_slave() const;
    // Throws those bytes away, as a real line loses what nobody listens to.
    void discard_unread();

private:
    int master_fd = -1;
    int slave_keepalive_fd = -1;
    QString path;
    QString error;
};

#endif
