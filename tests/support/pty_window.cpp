#include "support/pty_window.h"

#include "support/test_settings.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QSettings>

#include <sys/resource.h>

QVariant saved_setting(const QString &key)
{
    return QSettings(QSettings::UserScope, QStringLiteral("velmar_serial_port"), QString())
        .value(key);
}

void store_setting(const QString &key, const QVariant &value)
{
    QSettings settings(QSettings::UserScope, QStringLiteral("velmar_serial_port"), QString());
    if (value.isValid())
        settings.setValue(key, value);
    else
        settings.remove(key);
    settings.sync();
}

std::unique_ptr<Probed_window> make_window_without_port()
{
    clear_saved_settings();
    select_no_port();
    return std::make_unique<Probed_window>();
}

void select_port(Main_window_probe &probe, const QString &name)
{
    QComboBox *combo = probe.ui().comboBox_SerialPort;
    combo->addItem(name);
    combo->setCurrentIndex(combo->count() - 1);
}

QRegularExpression open_failure_line(const QString &name)
{
    return QRegularExpression(QStringLiteral("^\"%1\" Failed to open port: \".+\"$")
                                  .arg(QRegularExpression::escape(name)));
}

double process_cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double cpu_share_while_waiting(int ms)
{
    const double before = process_cpu_seconds();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(ms);
    return (process_cpu_seconds() - before) / (wall.elapsed() / 1000.0);
}
