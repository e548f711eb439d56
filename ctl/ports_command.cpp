#include "ctl/ports_command.h"

#include "console/console_output.h"
#include "console/exit_code.h"
#include "session/port_device.h"

#include <QtSerialPort/QSerialPortInfo>

namespace {

// Tab-separated columns stay in place for `cut` and `read` when a field is unknown.
QString or_dash(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

} // namespace

int Ports_command::run()
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        const QString links = Port_device::links_to(info.systemLocation()).join(QLatin1Char(' '));
        const QString line = QStringList{info.portName(), or_dash(info.description()),
                                         or_dash(info.serialNumber()), or_dash(links)}
                                 .join(QLatin1Char('\t'));
        if (!Console_output::data(line)) {
            Console_output::error(QStringLiteral("velmar-ctl ports: cannot write the output: %1")
                                      .arg(Console_output::write_error()));
            return exit_output_failed;
        }
    }
    return exit_done;
}
