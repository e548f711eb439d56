#include "fuzz/receive_path_harness.h"
#include "support/main_window_probe.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

#include <limits>

class Tst_fuzz_replay : public QObject
{
    Q_OBJECT

    Receive_path_harness harness;
private Q_SLOTS:
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("version"); // -1: a regression input, only required not to fail
        const QDir seeds(QStringLiteral(VELMAR_FUZZ_CORPUS_DIR));
        const QStringList names = seeds.entryList(QDir::Files, QDir::Name);
        QCOMPARE(names.size(), 3 * 64);   // three versions, every combination of three cage codes
        for (const QString &name : names) // v<version>_c<cages>.bin
            QTest::newRow(qPrintable(name))
                << seeds.filePath(name) << name.mid(1, 2).toInt(nullptr, 16);
        const QDir found(QStringLiteral(VELMAR_FUZZ_REGRESSIONS_DIR));
        for (const QString &name : found.entryList(QDir::Files, QDir::Name))
            QTest::addRow("regression %s", qPrintable(name)) << found.filePath(name) << -1;
    }

    void replay()
    {
        QFETCH(QString, path);
        QFETCH(int, version);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        harness.run(file.readAll()); // a fault come back aborts or trips the sanitizers
        if (version < 0)
            return;
        QCOMPARE(harness.decoded_frames(), 1); // however the seed's chunk plan cuts its frame
        QCOMPARE(harness.probe().ui().label_protocol_ver->text(),
                 QStringLiteral("%1.%2, Ok").arg(version >> 4).arg(version & 0xF));
    }

    // A chunk of many frames adds its length per frame: the count stops at the top, never wraps.
    void rx_byte_count_saturates()
    {
        Main_window_probe &probe = harness.probe();
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
