#ifndef VELMAR_APP_SAVED_SETTINGS_H
#define VELMAR_APP_SAVED_SETTINGS_H

#include <QtCore/QPoint>

// The operator's choices kept between runs in the per-user settings store:
// the places of the chosen port and baud rate in the window's lists, and the
// window's position. Places, not names, as they always have been stored.
struct Saved_settings
{
    static constexpr int first_port = 0;
    static const QPoint default_position;

    int port_index = first_port;
    int baud_index = 0;
    QPoint position = default_position;

    // default_baud_index is taken when nothing is stored.
    static Saved_settings load(int default_baud_index);
    // False when the store could not be written (one debug line says where).
    bool save() const;
};

#endif
