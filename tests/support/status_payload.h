#ifndef VELMAR_TESTS_STATUS_PAYLOAD_H
#define VELMAR_TESTS_STATUS_PAYLOAD_H

#include <QtCore/QByteArray>
#include <QtCore/QMetaType>
#include <QtCore/QString>

#include <cstdint>

// A unit's status message as tests write it, laid out by its own version:
// short SFP blocks below 1.1, the Dante region from 2.0 on, no block for an
// empty cage. The defaults are a healthy 2.0 unit with all three cages fitted
// (channel 1 Rx, channel 2 Tx, -20.0 dBm received, 1310 nm) and the Dante
// submodule fine at gain codes 32/32 and -28 dBm.
struct Status_payload
{
    enum Direction : uint8_t
    {
        none = 0,
        rx = 1,
        tx = 2,
        unassigned = 3
    };

    uint8_t version = 0x20;
    uint8_t flags = 0x0F; // every row locked, no fault
    uint8_t links = 0x0F; // valid, every link up
    uint8_t cages = 0x29; // SFP 1 Video, SFP 2 and SFP Eth Ethernet
    uint8_t directions[3][2] = {{rx, tx}, {rx, tx}, {rx, tx}};
    uint8_t dante = 0x7F; // present, everything ok
    uint8_t gain[2] = {32, 32};
    int8_t threshold = -28;

    QByteArray bytes() const;
    QByteArray frame() const;
};

Q_DECLARE_METATYPE(Status_payload)

// The status frame the simulated unit sends in its healthy state (drift off)
// once the simulator's commands, separated by ';', have changed it: a status
// told by named fields, e.g. "version 1.1; sfp1.dir1 unassigned; lock 0b0111".
QByteArray unit_frame(const QString &commands = QString());

QByteArray status_frame(const QByteArray &payload);
QByteArray control_frame(const QByteArray &payload);
// The same frame with the low CRC byte damaged.
QByteArray with_bad_crc(QByteArray frame);

#endif
