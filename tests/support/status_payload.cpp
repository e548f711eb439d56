#include "support/status_payload.h"

#include "protocol/frame_builder.h"
#include "simulator/sim_command.h"
#include "simulator/unit_engine.h"

namespace {

constexpr uint8_t first_long_block_version = 0x11;
constexpr uint8_t first_dante_version = 0x20;
const QByteArray long_block_tail = QByteArray::fromHex("051E000000"); // 1310 nm, no flags

const uint8_t *bytes_of(const QByteArray &payload)
{
    return reinterpret_cast<const uint8_t *>(payload.constData());
}

} // namespace

QByteArray Status_payload::bytes() const
{
    QByteArray payload;
    payload.append(char(version)).append(char(flags)).append(char(links)).append(char(cages));
    for (int cage = 0; cage < 3; ++cage) {
        if (((cages >> (2 * cage)) & 0x03) == 0)
            continue;
        payload.append(char((directions[cage][0] << 4) | (directions[cage][1] << 6)));
        payload.append(QByteArray::fromHex("FF380000")); // -20.0 and 0.0 dBm
        if (version >= first_long_block_version)
            payload.append(long_block_tail);
    }
    if (version >= first_dante_version)
        payload.append(char(dante))
            .append(char(gain[0]))
            .append(char(gain[1]))
            .append(char(threshold));
    return payload;
}

QByteArray Status_payload::frame() const
{
    return status_frame(bytes());
}

QByteArray unit_frame(const QString &commands)
{
    Unit_engine unit;
    unit.settings().drift = false;
    for (const QString &line : commands.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const Sim_command command = Sim_command::parse(line);
        if (!command.is_valid())
            qFatal("not a command of the simulator: %s", qPrintable(line));
        command.apply(unit.state(), unit.settings());
    }
    return unit.next_transmission(0);
}

QByteArray status_frame(const QByteArray &payload)
{
    return Frame_builder::build_status(bytes_of(payload), std::size_t(payload.size()));
}

QByteArray control_frame(const QByteArray &payload)
{
    return Frame_builder::build_control(bytes_of(payload), std::size_t(payload.size()));
}

QByteArray with_bad_crc(QByteArray frame)
{
    frame[frame.size() - 1] = char(frame.at(frame.size() - 1) ^ 0x01);
    return frame;
}
