#include "fuzz/receive_path_harness.h"

#include <QtTest/QtTest>

class Tst_fuzz_replay : public QObject
{
    Q_OBJECT

    Receive_path_harness harness;
private Q_SLOTS:
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("version"); // -1: a regression input, only required not to fail
        QTest::addColumn<int>("cages");
        const QDir seeds(QStringLiteral(VELMAR_FUZZ_CORPUS_DIR));
        const QStringList names = seeds.entryList(QDir::Files, QDir::Name);
        QCOMPARE(names.size(), 3 * 64);   // three versions, every combination of three cage codes
        for (const QString &name : names) // v<version>_c<cages>.bin
            QTest::newRow(qPrintable(name))
                << seeds.filePath(name) << name.mid(1, 2).toInt(nullptr, 16)
                << name.mid(5, 2).toInt(nullptr, 16);
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
        harness.run(file.readAll()); // a fault come back aborts or trips the sanitizers
        if (version < 0)
            return;
        QCOMPARE(harness.statuses().size(), 1); // however the seed's chunk plan cuts its frame
        const Unit_status &status = harness.statuses().first();
        QCOMPARE(int(status.version), version);
        for (int cage = 0; cage < Unit_status::cage_count; ++cage)
            QCOMPARE(int(status.cages[cage].type), (cages >> 2 * cage) & 0x3);
    }
};

QTEST_GUILESS_MAIN(Tst_fuzz_replay)
#include "tst_fuzz_replay.moc"
