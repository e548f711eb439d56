#include "app/saved_settings.h"

#include <QtCore/QDebug>
#include <QtCore/QSettings>
#include <QtCore/QVariant>

namespace {

const QString organisation = QStringLiteral("velmar_serial_port");
const QString group_serial_port = QStringLiteral("SerialPort");
const QString key_serial_port = QStringLiteral("SerialPort");
const QString key_baud_rate = QStringLiteral("BaudRate");
const QString group_main_window = QStringLiteral("MainWindow");
const QString key_position = QStringLiteral("pos");

} // namespace

const QPoint Saved_settings::default_position(200, 200);

Saved_settings Saved_settings::load(int default_baud_index)
{
    QSettings store(QSettings::UserScope, organisation, QString());
    Saved_settings saved;
    store.beginGroup(group_serial_port);
    saved.port_index = store.value(key_serial_port, first_port).toInt();
    saved.baud_index = store.value(key_baud_rate, default_baud_index).toInt();
    store.endGroup();
    store.beginGroup(group_main_window);
    const QVariant position = store.value(key_position, default_position);
    // Anything but a point (a hand-edited or damaged file) falls back to the
    // default place rather than the screen's corner.
    saved.position =
        position.userType() == QMetaType::QPoint ? position.toPoint() : default_position;
    store.endGroup();
    return saved;
}

bool Saved_settings::save() const
{
    QSettings store(QSettings::UserScope, organisation, QString());
    store.beginGroup(group_serial_port);
    store.setValue(key_serial_port, port_index);
    store.setValue(key_baud_rate, baud_index);
    store.endGroup();
    store.beginGroup(group_main_window);
    store.setValue(key_position, position);
    store.endGroup();
    store.sync();
    // A FormatError only says the old file could not be read; it has just
    // been replaced by a clean one. Only an AccessError means nothing was saved.
    if (store.status() != QSettings::AccessError)
        return true;
    qDebug() << "Failed to save settings:" << store.fileName();
    return false;
}
