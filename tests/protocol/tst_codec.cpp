#include "protocol/status_decoder.h"
#include "protocol/status_encoder.h"
#include "protocol/status_layout.h"
#include "protocol/unit_status.h"
#include "support/unit_status_text.h"

#include <QtCore/QRandomGenerator>
#include <QtTest/QtTest>

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

} // namespace

class Tst_codec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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
