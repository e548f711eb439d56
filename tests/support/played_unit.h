#ifndef VELMAR_TESTS_PLAYED_UNIT_H
#define VELMAR_TESTS_PLAYED_UNIT_H

#include "simulator/pty_device.h"
#include "support/status_payload.h"

#include <QtCore/QByteArrayList>
#include <QtCore/QTimer>

#include <functional>

// A unit played by hand on a pseudo-terminal, for a test that needs its
// every byte exact: it reports its status whenever the tool has read the
// last one, and answers each control frame as its script says, a letter
// each: a takes the values and acknowledges, A the same in a status whose
// CRC fails, k acknowledges and keeps its values, t takes them without a
// word, u is pulled out (the line closes), i (and every frame past the
// script) is ignored.
class Played_unit
{
public:
    static constexpr int tick_ms = 20;

    explicit Played_unit(const Status_payload &status = {}, const QString &script = {});

    // Opens the line with a byte of noise on it and these bytes after it,
    // and waits until they are in the line's queue: whatever opens the port
    // next finds them. The noise is gone once a program has opened the port.
    bool open(const QByteArray &waiting = {});
    // Starts playing: this many statuses, -1 without end.
    void talk(int statuses = -1);

    QString path() const { return line.slave_path(); }
    int unread_by_tool() const { return line.unread_by_slave(); }
    // The control frames the unit got so far, each in hex.
    QByteArrayList frames();

    Status_payload status;                           // what it reports next
    std::function<void(Status_payload &)> each_time; // changes each status before it goes

private:
    void read_frames();
    void play();

    Pty_device line;
    QString script;
    int statuses = -1;
    QByteArray received;
    QByteArrayList received_frames;
    bool bad_crc = false;
    QTimer timer;
};

#endif
