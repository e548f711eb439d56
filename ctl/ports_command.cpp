#include "ctl/ports_command.h"

#include "console/console_output.h"
#include "console/exit_code.h"

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
        const QString line =
            QStringList{info.portName(), or_dash(info.description()), or_dash(info.serialNumber())}
                .join(QLatin1Char('\t'));
        if (!Console_output::data(line))
            return exit_output_failed;
    }
    return exit_done;
}
