#include "ctl/ports_command.h"

#include "console/console_output.h"
#include "console/exit_code.h"
#include "console/terminal_text.h"
#include "session/port_device.h"

#include <QtSerialPort/QSerialPortInfo>

namespace {

// Tab-separated columns stay in place for `cut` and `read` when a field is
// unknown, and when a device's name holds a tab, a line feed or a terminal's
// escape sequence: the system's text is shown, never acted on.
QString field(const QString &text)
{
    return text.isEmpty() ? QStringLiteral("-") : Terminal_text::escaped(text);
}

} // namespace

int Ports_command::run()
{
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : ports) {
        const QString links = Port_device::links_to(info.systemLocation()).join(QLatin1Char(' '));
        const QString line = QStringList{field(info.portName()), field(info.description()),
                                         field(info.serialNumber()), field(links)}
                                 .join(QLatin1Char('\t'));
        if (!Console_output::data(line)) {
            Console_output::error(QStringLiteral("velmar-ctl ports: cannot write the output: %1")
                                      .arg(Console_output::write_error()));
            return exit_output_failed;
        }
    }
    return exit_done;
}
