// Replays the fuzzer's seed corpus and every input that ever found a fault
// through the same harness the fuzzer runs, with whatever compiler built the
// suite, so a fault once fixed stays fixed. Under the sanitizer build the
// replay is checked for memory and undefined-behaviour errors as well.

#include "app/mainwindow.h"
#include "fuzz/receive_path_harness.h"
#include "link/frame_builder.h"
#include "support/main_window_probe.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QRegularExpression>
#include <QtTest/QtTest>

#include <cstdint>
#include <limits>
#include <memory>

namespace {

const QString corpus_dir = QStringLiteral(VELMAR_FUZZ_CORPUS_DIR);
const QString regressions_dir = QStringLiteral(VELMAR_FUZZ_REGRESSIONS_DIR);
// Three versions times every combination of three two-bit cage codes.
constexpr int seed_count = 3 * 64;

QStringList inputs_in(const QString &path)
{
    QStringList files;
    const QDir dir(path);
    const auto names = dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString &name : names)
        if (!name.startsWith(QLatin1Char('.')))
            files << dir.filePath(name);
    return files;
}

QByteArray read_file(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

class Tst_fuzz_replay : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void seed_is_decoded_whole_data();
    void seed_is_decoded_whole();
    void regression_inputs_replay();
    void long_burst_keeps_activity_count_positive();
    void cleanupTestCase();

private:
    std::unique_ptr<Receive_path_harness> harness;
};

void Tst_fuzz_replay::initTestCase()
{
    harness = std::make_unique<Receive_path_harness>();
    // The harness must keep the window off every real port.
    QVERIFY(harness->probe().ui().comboBox_SerialPort->currentText().isEmpty());
    QCOMPARE(harness->probe().ui().label_SerialPort_Ok->text(), QStringLiteral("--"));
}

void Tst_fuzz_replay::cleanupTestCase()
{
    harness.reset();
}

void Tst_fuzz_replay::seed_is_decoded_whole_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("cages");

    const QRegularExpression name_pattern(QStringLiteral("^v([0-9a-f]{2})_c([0-9a-f]{2})\\.bin$"));
    const QStringList seeds = inputs_in(corpus_dir);
    QCOMPARE(seeds.size(), seed_count);
    for (const QString &path : seeds) {
        const auto match = name_pattern.match(QFileInfo(path).fileName());
        QVERIFY2(match.hasMatch(), qPrintable(path));
        QTest::newRow(qPrintable(QFileInfo(path).fileName()))
            << path << match.captured(1).toInt(nullptr, 16) << match.captured(2).toInt(nullptr, 16);
    }
}

// Every seed holds one valid frame, however its chunk plan cuts it: the frame
// must come through the whole path and the window must show what it says.
void Tst_fuzz_replay::seed_is_decoded_whole()
{
    QFETCH(QString, path);
    QFETCH(int, version);
    QFETCH(int, cages);

    const QByteArray input = read_file(path);
    QVERIFY(!input.isEmpty());
    harness->run(input);

    Main_window_probe &probe = harness->probe();
    QCOMPARE(harness->decoded_frames(), 1);
    QVERIFY(probe.crc_ok());
    QCOMPARE(int(probe.parcer().protocol_version), version);
    const QString version_text = QStringLiteral("%1.%2, Ok").arg(version >> 4).arg(version & 0xF);
    QCOMPARE(probe.ui().label_protocol_ver->text(), version_text);
    QCOMPARE(probe.ui().label_crc_ctrl->text(), QStringLiteral("Ok"));
    for (int cage = 0; cage < 3; ++cage) {
        const int code = (cages >> (2 * cage)) & 0x3;
        QCOMPARE(int(probe.sfp(cage).type), code);
        QCOMPARE(int(probe.sfp(cage).present), code != 0 ? 1 : 0);
    }
}

void Tst_fuzz_replay::regression_inputs_replay()
{
    const QStringList inputs = inputs_in(regressions_dir);
    if (inputs.isEmpty())
        QSKIP("no input has found a fault yet");
    for (const QString &path : inputs) {
        // A fault that came back aborts here, or is reported by the sanitizers.
        harness->run(read_file(path));
        QVERIFY2(harness->probe().rx_byte_count() >= 0, qPrintable(path));
    }
}

// One chunk of many frames adds its whole length once per frame; a count
// already near the top must stop there, not wrap round to "nothing arrived".
void Tst_fuzz_replay::long_burst_keeps_activity_count_positive()
{
    Main_window_probe &probe = harness->probe();
    const uint8_t payload[] = {0x11, 0x0F, 0x08, 0x00};
    const QByteArray frame = Frame_builder::build_status(payload, sizeof payload);
    QByteArray burst;
    for (int i = 0; i < 100; ++i)
        burst += frame;

    constexpr int32_t top = std::numeric_limits<int32_t>::max();
    probe.rx_byte_count() = top - burst.size();
    probe.feed(burst);
    QCOMPARE(probe.rx_byte_count(), top);

    probe.tick();
    QCOMPARE(probe.ui().label_receiving_status->text(), QStringLiteral("Ok"));
    QCOMPARE(probe.rx_byte_count(), 0);
}

QTEST_MAIN(Tst_fuzz_replay)
#include "tst_fuzz_replay.moc"
