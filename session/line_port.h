#ifndef VELMAR_SESSION_LINE_PORT_H
#define VELMAR_SESSION_LINE_PORT_H

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

// The serial line to a unit, wherever it ends: a device on this machine or a
// terminal server across the network. The channel above it sees bytes in,
// bytes out, and a line that opens, fails to open or is lost; nothing more.
//
// A local device opens or fails within open(). A line across the network
// only starts to open there: opened() or open_failed() follows, from the
// event loop, and nothing in between ever blocks it.
class Line_port : public QObject
{
    Q_OBJECT

public:
    explicit Line_port(QObject *parent = nullptr) : QObject(parent) {}

    // The port as it was named: a device path or a URL, as given.
    virtual QString name() const = 0;
    // False when it failed at once (error_string() says why); true when it
    // is open, or opening.
    virtual bool open(qint32 baud_rate) = 0;
    virtual void close() = 0;
    virtual bool is_open() const = 0;
    // The system's words for the last failure, as the debug lines give them.
    virtual QString error_string() const = 0;
    // The same in words an operator acts on ("not a serial device", ...).
    virtual QString reason() const { return error_string(); }
    // Whether an attempt to open it now could succeed at all: a device file
    // that is absent is not tried.
    virtual bool worth_trying() const { return true; }
    // Whether a failed attempt should wait longer each time before the next:
    // a terminal server that does not answer is not knocked on once a
    // second for ever.
    virtual bool backs_off() const { return false; }
    // Takes effect at once on an open line, and at every open after it.
    virtual void set_baud_rate(qint32 baud_rate) = 0;
    // The number of bytes the line took, -1 when it took them not at all.
    virtual qint64 write(const QByteArray &bytes) = 0;

Q_SIGNALS:
    void received(const QByteArray &bytes);
    // An open that did not complete within open().
    void opened();
    void open_failed(const QString &error);
    // The open line failed under us; it is closed.
    void lost(const QString &error);
};

#endif
