#include "console/console_output.h"

#include "console/terminal_text.h"
#include "console/whole_write.h"

#include <cstring>

namespace {

constexpr int standard_output = 1;
constexpr int standard_error = 2;

QString last_write_error;

} // namespace

bool Console_output::data(const QString &line)
{
    const Whole_write::Result result = Whole_write::to(standard_output, line.toLocal8Bit() + '\n');
    if (result.outcome == Whole_write::Outcome::written)
        return true;
    last_write_error = QString::fromLocal8Bit(std::strerror(result.error));
    return false;
}

void Console_output::error(const QString &line)
{
    // Unbuffered, as standard error is: the line is out before this returns,
    // unless a stop came while nothing would take it.
    Whole_write::to(standard_error, Terminal_text::escaped(line).toLocal8Bit() + '\n');
}

QString Console_output::write_error()
{
    return last_write_error;
}
