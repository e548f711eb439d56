#include "support/played_unit.h"

#include "protocol/status_layout.h"

#include <QtTest/QTest>

#include <tuple>

namespace {

constexpr int control_frame_size = 9;
constexpr uint8_t ack = 1 << status::ack_bit;

} // namespace

Played_unit::Played_unit(const Status_payload &status, const QString &script)
    : status(status), script(script)
{
    QObject::connect(&timer, &QTimer::timeout, [this] { play(); });
}

bool Played_unit::open(const QByteArray &waiting)
{
    return line.open() && line.write_all('~' + waiting) &&
           QTest::qWaitFor([&] { return line.unread_by_slave() == 1 + waiting.size(); });
}

void Played_unit::talk(int statuses)
{
    this->statuses = statuses;
    timer.start(tick_ms);
}

QByteArrayList Played_unit::frames()
{
    read_frames();
    return received_frames;
}

void Played_unit::read_frames()
{
    for (received += line.read_available(0); received.size() >= control_frame_size;
         received.remove(0, control_frame_size)) {
        const int index = int(received_frames.size());
        received_frames << received.left(control_frame_size).toHex(' ');
        const QChar how = index < script.size() ? script.at(index) : QLatin1Char('i');
        if (QStringLiteral("aAt").contains(how))
            std::tie(status.gain[0], status.gain[1], status.threshold) =
                std::make_tuple(uint8_t(received[4]), uint8_t(received[5]), int8_t(received[6]));
        status.links |= QStringLiteral("aAk").contains(how) ? ack : 0;
        bad_crc = how == QLatin1Char('A');
        if (how == QLatin1Char('u')) {
            timer.stop();
            line.close();
        }
    }
}

void Played_unit::play()
{
    read_frames();
    if (!line.is_open() || statuses == 0 || line.unread_by_slave() > 0)
        return;
    if (each_time)
        each_time(status);
    line.write_all(bad_crc ? with_bad_crc(status.frame()) : status.frame());
    status.links &= ~ack;
    bad_crc = false;
    statuses -= statuses > 0 ? 1 : 0;
}
