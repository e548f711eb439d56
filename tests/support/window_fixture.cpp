#include "support/window_fixture.h"

#include "support/test_settings.h"

#include <QtCore/QCoreApplication>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>

QLabel *Window_fixture::label(const QString &name) const
{
    return widget<QLabel>(name);
}

void Window_fixture::read(const QByteArray &bytes)
{
    session.receive(bytes);
    QCoreApplication::processEvents();
}

void Window_fixture::judge(const QByteArray &bytes)
{
    session.receive(bytes);
    session.check_link();
}

void Window_fixture::fall_silent()
{
    session.check_link();
    session.check_link();
}

std::unique_ptr<Window_fixture> make_window_without_port(const Session_timing &timing)
{
    isolate_settings();
    clear_saved_settings();
    select_no_port();
    return std::make_unique<Window_fixture>(Start_port{}, timing);
}

void select_port(MainWindow &window, const QString &name)
{
    auto *combo = window.findChild<QComboBox *>(QStringLiteral("comboBox_SerialPort"));
    combo->addItem(name);
    combo->setCurrentIndex(combo->count() - 1);
}

Shown shown(const QLabel *label)
{
    return {label->text(), label->styleSheet()};
}
