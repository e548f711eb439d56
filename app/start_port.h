#ifndef VELMAR_APP_START_PORT_H
#define VELMAR_APP_START_PORT_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// A port given on the window's command line: opened at start instead of the
// saved choice, which it leaves as it was.
struct Start_port
{
    QString path;         // empty: the saved choice
    qint32 baud_rate = 0; // 0: the saved rate

    bool is_set() const { return !path.isEmpty() || baud_rate != 0; }
};

#endif
