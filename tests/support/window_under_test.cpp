#include "support/window_under_test.h"

#include "support/test_settings.h"

#include <QtWidgets/QLabel>

namespace {

std::unique_ptr<Probed_window> isolated_window()
{
    isolate_settings();
    return make_window_without_port();
}

} // namespace

Window_under_test::Window_under_test(const QString &port, bool live)
    : made(isolated_window()), window(made->window), probe(made->probe),
      announced(&window, &MainWindow::new_connection_is_set)
{
    if (!live)
        probe.watchdog_timer().stop();
    if (!port.isEmpty())
        select_port(probe, port);
}

QLabel *Window_under_test::label(const QString &name) const
{
    return window.findChild<QLabel *>(name);
}

void Window_under_test::tick(const QByteArray &chunk)
{
    probe.feed(chunk);
    probe.tick();
}

Shown shown(const QLabel *label)
{
    return {label->text(), label->styleSheet()};
}

QMap<QString, Shown> every_label(const QWidget &window)
{
    QMap<QString, Shown> result;
    const auto labels = window.findChildren<QLabel *>();
    for (const QLabel *label : labels)
        result.insert(label->objectName(), shown(label));
    return result;
}
