// Writes the fuzzer's seed corpus: one valid status frame per file, for the
// versions 1.0, 1.1 and 2.0 and every combination of the three cage codes,
// cut into chunks in several ways. The field values come from a fixed
// pseudo-random sequence, so running it again writes the same files.
//
// Usage: velmar_make_corpus <directory>
//
// File names read v<version>_c<cage byte>.bin, both in hex; the replay test
// takes the version from the name.

#include "protocol/frame_builder.h"
#include "protocol/status_layout.h"

#include <QtCore/QByteArray>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QString>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr uint8_t versions[] = {Protocol_version::v1_0, Protocol_version::v1_1,
                                Protocol_version::v2_0};
constexpr int cage_combinations = 1 << (Unit_status::cage_count * status::cage_type_bits);
constexpr uint8_t unused_cage_bits = 0xC0;
constexpr uint8_t sync_byte = 0x50;
constexpr int plan_kinds = 4;
constexpr int noise_length = 5;
constexpr int threshold_span = 36; // -35 to 0 dBm

// A small linear congruential sequence: the corpus must not depend on the
// standard library's generators.
class Sequence
{
public:
    explicit Sequence(uint32_t seed) : value(seed) {}
    uint8_t next()
    {
        value = value * 1664525u + 1013904223u;
        return static_cast<uint8_t>(value >> 24);
    }

private:
    uint32_t value;
};

std::vector<uint8_t> status_payload(uint8_t version, uint8_t cages, Sequence &random)
{
    std::vector<uint8_t> payload;
    payload.push_back(version);
    payload.push_back(random.next() & 0x7F);
    payload.push_back(random.next() & 0x1F);
    payload.push_back(static_cast<uint8_t>(cages | (random.next() & unused_cage_bits)));
    const int blocks = status::present_cage_count(cages);
    const std::size_t block_size = status::sfp_block_size(version);
    for (std::size_t i = 0; i < blocks * block_size; ++i)
        payload.push_back(random.next());
    if (status::has_dante_region(version)) {
        payload.push_back(random.next());
        payload.push_back(random.next() % 64);
        payload.push_back(random.next() % 64);
        payload.push_back(static_cast<uint8_t>(-(random.next() % threshold_span)));
    }
    return payload;
}

// The harness's chunk plan in front of the frame: whole, byte by byte, and
// two uneven cuts with watchdog ticks between them.
QByteArray chunk_plan(int kind)
{
    switch (kind % plan_kinds) {
    case 0:
        return QByteArray(1, '\0');
    case 1:
        return QByteArray("\x01\x00", 2);
    case 2:
        return QByteArray("\x02\x02\x86", 3);
    default:
        return QByteArray("\x03\x00\x09\x80", 4);
    }
}

QByteArray noise(Sequence &random)
{
    QByteArray bytes;
    for (int i = 0; i < noise_length; ++i) {
        uint8_t byte = random.next();
        if (byte == sync_byte)
            byte = 0;
        bytes.append(static_cast<char>(byte));
    }
    return bytes;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    const QDir directory(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(directory.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    int written = 0;
    for (const uint8_t version : versions) {
        for (int cages = 0; cages < cage_combinations; ++cages) {
            Sequence random(static_cast<uint32_t>(version) << 8 | static_cast<uint32_t>(cages));
            const std::vector<uint8_t> payload =
                status_payload(version, static_cast<uint8_t>(cages), random);
            QByteArray input = chunk_plan(cages);
            if (cages % 2 == 1)
                input += noise(random);
            input += Frame_builder::build_status(payload.data(), payload.size());

            const QString name = QStringLiteral("v%1_c%2.bin")
                                     .arg(version, 2, 16, QLatin1Char('0'))
                                     .arg(cages, 2, 16, QLatin1Char('0'));
            QFile file(directory.filePath(name));
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
                file.write(input) != input.size()) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
                return 1;
            }
            ++written;
        }
    }
    std::printf("%d seed files written to %s\n", written, argv[1]);
    return 0;
}
