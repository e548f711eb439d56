#include "console/console_output.h"

#include <cstdio>

namespace {

bool write_line(FILE *stream, const QString &line)
{
    const QByteArray bytes = line.toLocal8Bit() + '\n';
    const bool written = std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()),
                                     stream) == static_cast<std::size_t>(bytes.size());
    return std::fflush(stream) == 0 && written;
}

} // namespace

bool Console_output::data(const QString &line)
{
    return write_line(stdout, line);
}

void Console_output::error(const QString &line)
{
    write_line(stderr, line);
}
