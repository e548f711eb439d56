// Replays the fuzzer's seeds and every input that ever found a fault through the
// fuzzer's own harness, with any compiler, so a fault once fixed stays fixed.

#include "fuzz/receive_path_harness.h"
#include "support/main_window_probe.h"
#include "support/status_payload.h"

#include <QtCore/QDir>
#include <QtCore/QRegularExpression>
#include <QtTest/QtTest>

#include <limits>
#include <memory>

class Tst_fuzz_replay : public QObject
{
    Q_OBJECT

    std::unique_ptr<Receive_path_harness> harness;
private Q_SLOTS:
    void initTestCase() { harness = std::make_unique<Receive_path_harness>(); }
    void cleanupTestCase() { harness.reset(); }

    void replay_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("version"); // -1: a regression input, only required not to fail
        QTest::addColumn<int>("cages");
        const QDir seeds(QStringLiteral(VELMAR_FUZZ_CORPUS_DIR));
        const QRegularExpression seed_name(QStringLiteral("^v([0-9a-f]{2})_c([0-9a-f]{2})\\.bin$"));
        const QStringList names = seeds.entryList(QDir::Files, QDir::Name);
        QCOMPARE(names.size(), 3 * 64); // three versions, every combination of three cage codes
        for (const QString &name : names) {
            const auto match = seed_name.match(name);
            QTest::newRow(qPrintable(name))
                << seeds.filePath(name) << match.captured(1).toInt(nullptr, 16)
                << match.captured(2).toInt(nullptr, 16);
        }
        const QDir found(QStringLiteral(VELMAR_FUZZ_REGRESSIONS_DIR));
        for (const QString &name : found.entryList(QDir::Files, QDir::Name))
            QTest::addRow("regression %s", qPrintable(name)) << found.filePath(name) << -1 << 0;
    }

    void replay()
    {
        QFETCH(QString, path);
        QFETCH(int, version);
        QFETCH(int, cages);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        harness->run(file.readAll()); // a fault come back aborts here or trips the sanitizers
        Main_window_probe &probe = harness->probe();
        QVERIFY(probe.rx_byte_count() >= 0);
        if (version < 0)
            return;
        // A seed holds one valid frame, however its chunk plan cuts it.
        QCOMPARE(harness->decoded_frames(), 1);
        QVERIFY(probe.crc_ok());
        QCOMPARE(probe.ui().label_protocol_ver->text(),
                 QStringLiteral("%1.%2, Ok").arg(version >> 4).arg(version & 0xF));
        for (int cage = 0; cage < 3; ++cage)
            QCOMPARE(int(probe.sfp(cage).type), (cages >> (2 * cage)) & 0x3);
    }

    // A chunk of many frames adds its length per frame: the count stops at the top, never wraps.
    void rx_byte_count_saturates()
    {
        Main_window_probe &probe = harness->probe();
        const QByteArray burst = status_frame(QByteArray::fromHex("110F0800")).repeated(100);
        constexpr int32_t top = std::numeric_limits<int32_t>::max();
        probe.rx_byte_count() = top - burst.size();
        probe.feed(burst);
        QCOMPARE(probe.rx_byte_count(), top);
        probe.tick();
        QCOMPARE(probe.ui().label_receiving_status->text(), QStringLiteral("Ok"));
    }
};

QTEST_MAIN(Tst_fuzz_replay)
#include "tst_fuzz_replay.moc"
