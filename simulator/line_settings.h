#ifndef VELMAR_SIMULATOR_LINE_SETTINGS_H
#define VELMAR_SIMULATOR_LINE_SETTINGS_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// How the simulated unit's line is set, as whoever opened its other end set
// it: a tool, or a terminal server that a tool set through RFC 2217.
struct Line_settings
{
    enum class Flow
    {
        none,
        hardware,
        software,
    };

    qint32 baud_rate = 0; // 0: a rate the system does not name
    int data_bits = 8;
    char parity = 'N'; // N, E or O
    int stop_bits = 1;
    Flow flow = Flow::none;

    // "57600 8N1, no flow control"
    QString text() const;
};

#endif
