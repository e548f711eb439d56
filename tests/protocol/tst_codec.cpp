#include "protocol/frame.h"
#include "protocol/status_decoder.h"
#include "protocol/status_encoder.h"
#include "protocol/status_layout.h"
#include "protocol/unit_status.h"
#include "support/unit_status_text.h"

#include <QtCore/QRandomGenerator>
#include <QtTest/QtTest>

#include <vector>

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

} // namespace

// The status message both ways: each payload decoded by hand-checked tables,
// the encoder and the decoder agreeing on random statuses of every version.
class Tst_codec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
        row("0x10, cages 0x21", "10451121 93FF38007B 6FFFF6FED4",
            "version=0x10 rx_fault=1 lock1=1 lock3=1 link_valid=1 link_f=1 sfp1.type=video "
            "sfp1.temp_c=40 sfp1.dir1=rx sfp1.dir2=tx sfp1.power1=-20.0 sfp1.power2=12.3 "
            "sfp1.wl1=0 sfp1.wl2=0 sfp1.flag1=0 sfp1.flag2=0 sfp_eth.type=ethernet "
            "sfp_eth.temp_c=100 sfp_eth.dir1=tx sfp_eth.dir2=rx sfp_eth.power1=-1.0 "
            "sfp_eth.power2=-30.0 sfp_eth.wl1=0 sfp_eth.wl2=0 sfp_eth.flag1=0 sfp_eth.flag2=0" +
                empty("sfp2"),
            "decoded acknowledged");
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
        row("0x20, no cage", "203A0200 2B053FE4",
            "version=0x20 tx_fault=1 overheat=1 lock2=1 lock4=1 link_p1=1 threshold=-28" + no_cage +
                dante_2b05,
            "decoded");
        row("0x30", "30001C00 2B053FE4",
            "version=0x30 link_valid=1 link_p2=1 threshold=-28" + no_cage + dante_2b05,
            "decoded acknowledged");
        row("0x20, three cages, 38 bytes",
            "20FFE939 D0FF380064051E060EFE AF000AFFFF04F6123401 44123480 00FFFF000003 7F2A1500",
            "version=0x20 rx_fault=1 tx_fault=1 overheat=1 lock1=1 lock2=1 lock3=1 lock4=1 "
            "link_valid=1 link_f=1 sfp1.type=video sfp1.temp_c=25 sfp1.dir1=rx sfp1.power1=-20.0 "
            "sfp1.power2=10.0 sfp1.wl1=1310 sfp1.wl2=1550 sfp1.flag1=0 sfp2.type=ethernet "
            "sfp2.temp_c=100 sfp2.dir1=tx sfp2.dir2=tx sfp2.power1=1.0 sfp2.power2=-0.1 "
            "sfp2.wl1=1270 sfp2.wl2=4660 sfp2.flag2=0 sfp_eth.temp_c=45 sfp_eth.dir1=none "
            "sfp_eth.dir2=rx sfp_eth.power1=466.0 sfp_eth.power2=-3276.8 sfp_eth.wl1=65535 "
            "sfp_eth.wl2=0 dante.system=ok dante.link=ok dante.input1=line dante.gain1=42 "
            "dante.gain2=21 dante.gains_reported=1 threshold=0",
            "decoded");
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
        row("1.0, no module: 4 bytes", "10050000",
            "version=0x10 lock1=1 lock3=1 link_valid=1" + no_cage, "decoded");
        row("1.1, no module: 4 bytes", "110F0F00", "version=0x11" + all_locks_and_links + no_cage,
            "decoded");
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

QTEST_GUILESS_MAIN(Tst_codec)
#include "tst_codec.moc"
