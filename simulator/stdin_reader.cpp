#include "simulator/stdin_reader.h"

#include <QtCore/QSocketNotifier>

#include <cerrno>
#include <unistd.h>

namespace {

constexpr int stdin_fd = 0;

} // namespace

Stdin_reader::Stdin_reader(QObject *parent) : QObject(parent)
{
    notifier = new QSocketNotifier(stdin_fd, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &Stdin_reader::on_readable);
}

void Stdin_reader::on_readable()
{
    char chunk[chunk_size];
    const ssize_t got = ::read(stdin_fd, chunk, sizeof chunk);
    if (got > 0) {
        buffer.append(chunk, static_cast<int>(got));
        emit_complete_lines();
        return;
    }
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
        return;
    finish();
}

void Stdin_reader::emit_complete_lines()
{
    int end = buffer.indexOf('\n');
    while (end >= 0) {
        const QByteArray line = buffer.left(end);
        buffer.remove(0, end + 1);
        emit line_read(QString::fromLocal8Bit(line).trimmed());
        end = buffer.indexOf('\n');
    }
}

void Stdin_reader::finish()
{
    notifier->setEnabled(false);
    finished = true;
    if (!buffer.isEmpty()) {
        const QByteArray last = buffer;
        buffer.clear();
        emit line_read(QString::fromLocal8Bit(last).trimmed());
    }
}
