// The record fuzzer's seeds and every input that once found a fault, through
// the fuzzer's own harness: each seed reads whole, and nothing read breaks the
// promise that a line written again reads back the same.
#include "fuzz/record_reader_harness.h"

#include <QtTest/QtTest>

class Record_fuzz_replay_test : public QObject
{
    Q_OBJECT

    Record_reader_harness harness;

private Q_SLOTS:
    void replay_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("entries"); // -1: a regression input, only required not to fail
        // The seeds: a status, the events of the documentation, a 1.1
        // status, and a line cut by a crash with the next run appended.
        const std::pair<const char *, int> seeds[] = {{"status.jsonl", 1},
                                                      {"events.jsonl", 7},
                                                      {"status_1_1.jsonl", 1},
                                                      {"cut_then_appended.jsonl", 2}};
        const QDir corpus(QStringLiteral(VELMAR_RECORD_CORPUS_DIR));
        QCOMPARE(corpus.entryList(QDir::Files).size(), int(std::size(seeds)));
        for (const auto &seed : seeds)
            QTest::newRow(seed.first) << corpus.filePath(QLatin1String(seed.first)) << seed.second;
        const QDir found(QStringLiteral(VELMAR_RECORD_REGRESSIONS_DIR));
        for (const QString &name : found.entryList(QDir::Files, QDir::Name))
            QTest::addRow("regression %s", qPrintable(name)) << found.filePath(name) << -1;
    }

    void replay()
    {
        QFETCH(QString, path);
        QFETCH(int, entries);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString broken = harness.run(file.readAll());
        QVERIFY2(broken.isEmpty(), qPrintable(broken));
        if (entries >= 0)
            QCOMPARE(harness.entries(), entries);
    }
};

QTEST_GUILESS_MAIN(Record_fuzz_replay_test)
#include "tst_record_fuzz_replay.moc"
