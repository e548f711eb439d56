#include "support/test_settings.h"

#include <QtCore/QDir>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>

QString isolate_settings()
{
    static QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    return dir.path();
}

void clear_saved_settings()
{
    QSettings settings(QSettings::UserScope, QStringLiteral("velmar_serial_port"), QString());
    settings.clear();
    settings.sync();
}

void select_no_port()
{
    QSettings settings(QSettings::UserScope, QStringLiteral("velmar_serial_port"), QString());
    settings.setValue(QStringLiteral("SerialPort/SerialPort"), -1);
    settings.sync();
}
