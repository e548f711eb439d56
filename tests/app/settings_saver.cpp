// Saves the window's settings over and over until killed, or count times,
// every save's values telling which save it was: a tool that dies while
// saving, for tst_settings_safety.
//
// Usage: settings_saver DIR FIRST [COUNT]

#include "app/saved_settings.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QSettings>
#include <QtCore/QStringList>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    const QCoreApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 3)
        return 2;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, arguments[1]);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, arguments[1]);
    const int first = arguments[2].toInt();
    const int count = arguments.value(3).toInt(); // 0: until killed
    std::puts("saving");
    std::fflush(stdout);
    // A test that dies before killing us must not leave us saving for ever.
    const pid_t parent = ::getppid();
    for (int i = first; (count == 0 || i < first + count) && ::getppid() == parent; ++i) {
        Saved_settings saved;
        saved.port_index = i;
        saved.baud_index = i;
        saved.position = QPoint(i, i);
        if (!saved.save())
            return 1;
    }
    return 0;
}
