#include "protocol/frame.h"
#include "protocol/frame_receiver.h"
#include "protocol/status_decoder.h"
#include "protocol/status_encoder.h"
#include "protocol/status_layout.h"
#include "protocol/unit_status.h"
#include "support/status_payload.h"
#include "support/unit_status_text.h"

#include <QtCore/QRandomGenerator>
#include <QtTest/QtTest>

#include <vector>

using Chunks = QList<QByteArray>;

namespace {

using S = Unit_status;

constexpr int states_per_version = 2000;

template <typename Enum> Enum pick(QRandomGenerator &random, int lowest, int highest)
{
    return static_cast<Enum>(random.bounded(lowest, highest + 1));
}

bool coin(QRandomGenerator &random)
{
    return random.bounded(2) == 1;
}

S random_status(QRandomGenerator &random, uint8_t version)
{
    S s;
    s.version = version;
    for (bool *flag :
         {&s.rx_fault, &s.tx_fault, &s.overheat, &s.links_valid, &s.link_f, &s.link_p1, &s.link_p2})
        *flag = coin(random);
    for (bool &lock : s.locks)
        lock = coin(random);
    for (S::Cage &cage : s.cages) {
        cage.type = pick<S::Cage_type>(random, 0, 3);
        cage.temperature_c = 25 + 5 * int(random.bounded(16));
        for (S::Channel &channel : cage.channels)
            channel = {pick<S::Direction>(random, 0, 3), int16_t(random.bounded(65536) - 32768),
                       uint16_t(random.bounded(65536)), coin(random)};
    }
    S::Dante &d = s.dante;
    d.present = coin(random);
    d.system = pick<S::Dante_state>(random, 1, 2);
    d.sync = pick<S::Dante_state>(random, 1, 2);
    d.link = pick<S::Dante_state>(random, 1, 2);
    d.mic = pick<S::Mic_type>(random, 1, 2);
    d.inputs = {{pick<S::Input_type>(random, 1, 2), pick<S::Input_type>(random, 1, 2)}};
    d.gain_codes = {{uint8_t(random.bounded(256)), uint8_t(random.bounded(256))}};
    s.threshold_dbm = int8_t(random.bounded(256) - 128);
    return s;
}

// What decoding the message of s onto a fresh status gives: only what s's
// version and cages carry, everything else as it was.
S carried(S s)
{
    const S fresh;
    const bool long_blocks = status::has_long_blocks(s.version);
    s.links_valid = s.links_valid || !long_blocks;
    for (S::Cage &cage : s.cages) {
        if (!cage.present())
            cage = S::Cage{};
        for (S::Channel &channel : cage.channels) {
            channel.wavelength_nm = long_blocks ? channel.wavelength_nm : 0;
            channel.flag = long_blocks && channel.flag;
        }
    }
    if (!status::has_dante_region(s.version))
        s.threshold_dbm = fresh.threshold_dbm;
    if (!status::has_dante_region(s.version) || !s.dante.present)
        s.dante = fresh.dante;
    else
        s.dante.gains_reported = true;
    return s;
}

// Distinct starting values: what a payload does not carry must come out unchanged.
Unit_status seeded()
{
    S status;
    status.version = 0x99;
    for (int i = 0; i < S::cage_count; ++i) {
        S::Cage &cage = status.cages[i];
        const int k = 10 * (i + 1);
        cage.type = S::Cage_type::other;
        cage.temperature_c = k + 1;
        for (int ch = 0; ch < S::channel_count; ++ch)
            cage.channels[ch] = {S::Direction::unassigned, int16_t(k + 2 + ch),
                                 uint16_t(k + 6 + ch), true};
    }
    S::Dante &d = status.dante;
    d.present = true;
    d.system = d.link = S::Dante_state::fault;
    d.sync = S::Dante_state::ok;
    d.mic = S::Mic_type::local;
    d.inputs = {{S::Input_type::microphone, S::Input_type::line}};
    d.gain_codes = {{7, 9}};
    status.threshold_dbm = -5;
    return status;
}

const QByteArray short_1 = QByteArray::fromHex("10050000"),
                 short_2 = QByteArray::fromHex("100A0000");
const QByteArray long_status = QByteArray::fromHex("110F0801 43102011220514060E00");

// One line per frame that ended: the chunk it ended in, how, and its payload
// (a rejected frame's payload is what the session takes the version from).
QString ended(int chunk, const char *how, const QByteArray &payload = {})
{
    return QStringLiteral("chunk %1: %2 %3").arg(chunk).arg(how, payload.toHex());
}

QStringList receive(const Chunks &chunks)
{
    using E = Frame_receiver::Event;
    Frame_receiver receiver;
    QStringList log;
    for (int chunk = 0; chunk < chunks.size(); ++chunk) {
        for (const char byte : chunks[chunk]) {
            const E event = receiver.push(uint8_t(byte));
            const QByteArray payload(reinterpret_cast<const char *>(receiver.payload()),
                                     int(receiver.completed_length()));
            if (event != E::none)
                log << (event == E::dropped
                            ? ended(chunk, "dropped")
                            : ended(chunk, event == E::crc_good ? "good" : "bad", payload));
        }
    }
    return log;
}

} // namespace

// The frame receiver over a stream, then the status message inside the frames
// both ways: each payload decoded by hand-checked tables, the encoder and the
// decoder agreeing on random statuses of every version.
class Tst_frame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void receives_stream_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<QStringList>("expected");
        const QByteArray f1 = status_frame(short_1), f2 = status_frame(short_2);
        const QByteArray lf = status_frame(long_status);
        for (int at = 1; at < lf.size(); ++at)
            QTest::addRow("split at %d", at) << Chunks{lf.left(at), QByteArray(), lf.mid(at)}
                                             << QStringList{ended(2, "good", long_status)};
        // "P" and the byte after it are dropped as a pair: the frame's own "PR" is missed.
        QTest::newRow("50 50 52 body, then a good frame")
            << Chunks{"P" + f1, f2} << QStringList{ended(1, "good", short_2)};
        QTest::newRow("garbage before a frame")
            << Chunks{QByteArray::fromHex("00FF5250 13504152 5207") + f1}
            << QStringList{ended(0, "good", short_1)};
        // A corrupted sync pair hides the whole frame, "PP" included.
        for (const int sync_2 : {0x50, 0x00, 0x53, 0xD2}) {
            QByteArray bad_sync = f1;
            bad_sync[1] = char(sync_2);
            QTest::addRow("second sync byte %02X, then a frame", sync_2)
                << Chunks{bad_sync, f2} << QStringList{ended(1, "good", short_2)};
        }
        QTest::newRow("first sync byte 52, then a frame")
            << Chunks{'R' + f1.mid(1), f2} << QStringList{ended(1, "good", short_2)};
        // Lengths the buffers cannot hold end the frame at once.
        for (const int length : {0, 45, 255}) {
            const QByteArray bad_header = "PR" + QByteArray(1, char(length));
            QTest::addRow("length %d, then a frame", length)
                << Chunks{bad_header + f1, bad_header + QByteArray(60, '\x11'), f2}
                << QStringList{ended(0, "dropped"), ended(0, "good", short_1), ended(1, "dropped"),
                               ended(2, "good", short_2)};
        }
        const QByteArray largest = short_1 + QByteArray(int(frame::max_payload) - 4, '\x33');
        QTest::newRow("two frames in one chunk, 44-byte payload first")
            << Chunks{status_frame(largest) + f2}
            << QStringList{ended(0, "good", largest), ended(0, "good", short_2)};
        // A frame hidden inside the rejected one is not searched for again.
        const QByteArray outer = "\x21" + f1;
        QByteArray swapped = status_frame(outer);
        std::swap(swapped.data()[swapped.size() - 1], swapped.data()[swapped.size() - 2]);
        QVERIFY(swapped != status_frame(outer));
        QTest::newRow("swapped CRC bytes, then a frame")
            << Chunks{swapped, f2}
            << QStringList{ended(0, "bad", outer), ended(1, "good", short_2)};
    }

    void receives_stream()
    {
        QFETCH(Chunks, chunks);
        QTEST(receive(chunks), "expected");
    }

    void decode_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("changed"); // every field that differs from the seeded status
        QTest::addColumn<QString>("outcome"); // decoded, acknowledged, dante_invalid
        const auto row = [](const char *name, const QByteArray &payload, const QString &changed,
                            const char *outcome) {
            QTest::newRow(name) << QByteArray::fromHex(payload) << changed << outcome;
        };
        // An empty cage's block is absent: no type and no directions, the rest kept.
        const auto empty = [](const char *cage) {
            return QString(" %1.type=none %1.dir1=none %1.dir2=none").arg(cage);
        };
        const QString no_cage = empty("sfp1") + empty("sfp2") + empty("sfp_eth");
        const QString dante_2b05 = " dante.system=ok dante.sync=fault dante.link=ok "
                                   "dante.mic=remote dante.input1=line dante.input2=microphone "
                                   "dante.gain1=5 dante.gain2=63 dante.gains_reported=1";
        const QString all_locks_and_links =
            " lock1=1 lock2=1 lock3=1 lock4=1 link_valid=1 link_f=1 link_p1=1 link_p2=1";
        row("0x0F as 0x10, bits 6-7 no cage", "0F0000C2 51FFFB0000",
            "version=0x0f link_valid=1 sfp1.type=ethernet sfp1.temp_c=30 sfp1.dir1=rx "
            "sfp1.dir2=rx sfp1.power1=-0.5 sfp1.power2=0.0 sfp1.wl1=0 sfp1.wl2=0 sfp1.flag1=0 "
            "sfp1.flag2=0" +
                empty("sfp2") + empty("sfp_eth"),
            "decoded");
        for (const char *version : {"11", "1F"})
            row(version, version + QByteArray("000704 27FFC9123405D2010201"),
                "version=0x" + QString(version).toLower() +
                    " link_f=1 link_p1=1 link_p2=1 sfp2.type=video sfp2.temp_c=60 sfp2.dir1=tx "
                    "sfp2.dir2=none sfp2.power1=-5.5 sfp2.power2=466.0 sfp2.wl1=1490 sfp2.wl2=258 "
                    "sfp2.flag2=0" +
                    empty("sfp1") + empty("sfp_eth"),
                "decoded");
        // The Tx fault without the overheat: the two neighbouring bits cannot be mistaken.
        row("0x20, no cage", "202A0200 2B053FE4",
            "version=0x20 tx_fault=1 lock2=1 lock4=1 link_p1=1 threshold=-28" + no_cage +
                dante_2b05,
            "decoded");
        row("0x30", "30001C00 2B053FE4",
            "version=0x30 link_valid=1 link_p2=1 threshold=-28" + no_cage + dante_2b05,
            "decoded acknowledged");
        // Absent, the submodule reports nothing, and the unit's gains are kept.
        row("Dante 0x7E", "20000800 7E112280",
            "version=0x20 link_valid=1 dante.present=0 dante.system=not_reported "
            "dante.sync=not_reported dante.link=not_reported dante.mic= dante.input1= "
            "dante.input2= threshold=-128" +
                no_cage,
            "decoded");
        row("0x81", "20001000 810C0DE4",
            "version=0x20 dante.sync=fault dante.mic=remote dante.input2=microphone "
            "dante.gain1=12 dante.gain2=13 dante.gains_reported=1 threshold=-28" +
                no_cage,
            "decoded acknowledged dante_invalid");
        // Too short for their version and cages; the ack bit and fault flags would show if decoded.
        row("3 bytes, its acknowledgement honoured", "207F1F", "", "acknowledged");
        row("2 bytes", "207F", "", "");
        row("0x20 no cage, threshold missing", "207F1F00 010203", "", "acknowledged");
        row("0x11 two cages, one block", "117F1F05 03030303030303030303", "", "acknowledged");
        row("0x20 three cages, no Dante", "207F1F3F" + QByteArray(60, '0'), "", "acknowledged");
        row("0x11 no cage, 6 bytes extra", "117F1F00 010203040506",
            "version=0x11 rx_fault=1 tx_fault=1 overheat=1" + all_locks_and_links + no_cage,
            "decoded acknowledged");
    }

    void decode()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, changed);
        const Unit_status before = seeded();
        Unit_status status = before;
        // Poison behind the payload, as the receiver's buffer holds: no row may read it. An
        // exact copy decodes the same, and lets the sanitizer build catch any read past the end.
        const QByteArray buffer =
            payload + QByteArray(int(frame::max_payload) - payload.size(), char(0xA5));
        const std::vector<uint8_t> exact(payload.begin(), payload.end());
        Unit_status from_exact = status;
        const auto outcome = Status_decoder::decode(
            reinterpret_cast<const uint8_t *>(buffer.data()), exact.size(), status);
        Status_decoder::decode(exact.data(), exact.size(), from_exact);
        QCOMPARE(from_exact, status);
        QStringList expected = changed.split(' ', Qt::SkipEmptyParts);
        QStringList seen = changed_fields(before, status);
        expected.sort();
        seen.sort();
        QCOMPARE(seen, expected);
        const QStringList said{outcome.decoded ? "decoded" : "",
                               outcome.acknowledged ? "acknowledged" : "",
                               outcome.dante_invalid ? "dante_invalid" : ""};
        QTEST(said.filter(QRegularExpression(".")).join(' '), "outcome");
    }

    void round_trip_data()
    {
        QTest::addColumn<int>("version");
        for (const int version : {0x10, 0x11, 0x20, 0x00, 0x0F, 0x12, 0x1F, 0x30, 0xFF})
            QTest::addRow("0x%02X", version) << version;
    }

    void round_trip()
    {
        QFETCH(int, version);
        QRandomGenerator random(quint32(version) + 1);
        for (int i = 0; i < states_per_version; ++i) {
            const S sent = random_status(random, uint8_t(version));
            Status_encoder::Extras extras;
            extras.acknowledge = coin(random);
            extras.dante_invalid = coin(random);
            const QByteArray payload = Status_encoder::payload(sent, extras);
            const auto *bytes = reinterpret_cast<const uint8_t *>(payload.data());
            QCOMPARE(std::size_t(payload.size()), Status_encoder::payload_size(sent));
            QCOMPARE(std::size_t(payload.size()), status::expected_payload_size(bytes));
            S received;
            const auto outcome =
                Status_decoder::decode(bytes, std::size_t(payload.size()), received);
            const S expected = carried(sent);
            if (received != expected) // QCOMPARE would print every state, not only a failed one
                QCOMPARE(received, expected);
            QVERIFY(outcome.decoded);
            QCOMPARE(outcome.acknowledged, extras.acknowledge);
            QCOMPARE(outcome.dante_invalid,
                     extras.dante_invalid && status::has_dante_region(uint8_t(version)));
        }
    }

    void payload_sizes_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QVector<int>>("sizes"); // for 0, 1, 2 and 3 cages
        QTest::newRow("1.0") << 0x10 << QVector<int>{4, 9, 14, 19};
        QTest::newRow("1.1") << 0x11 << QVector<int>{4, 14, 24, 34};
        QTest::newRow("0x1F") << 0x1F << QVector<int>{4, 14, 24, 34};
        QTest::newRow("2.0") << 0x20 << QVector<int>{8, 18, 28, 38};
    }

    void payload_sizes()
    {
        QFETCH(int, version);
        QFETCH(QVector<int>, sizes);
        // Bits 6-7 name no cage; each of the others counts wherever it sits.
        const uint8_t cage_bits[] = {0xC0, 0x08, 0x31, 0x3F};
        for (int cages = 0; cages < 4; ++cages)
            QCOMPARE(int(status::payload_size(uint8_t(version), cage_bits[cages])), sizes[cages]);
    }

    // The decoder's side, codes 0 and 15, is in the decoder's table.
    void temperature_codes()
    {
        const QVector<QPair<int, int>> celsius_to_code{{25, 0}, {100, 15}, {30, 1},   {34, 1},
                                                       {24, 0}, {-40, 0},  {101, 15}, {200, 15}};
        for (const auto &pair : celsius_to_code)
            QCOMPARE(int(Status_encoder::temperature_code(pair.first)), pair.second);
    }
};

QTEST_GUILESS_MAIN(Tst_frame)
#include "tst_frame.moc"
