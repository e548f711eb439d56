// The wire frame: CRC-16, the control frame builder, and the byte-by-byte
// receiver fed through the main window's read slot as the channel feeds it.

#include "app/mainwindow.h"
#include "link/crc16.h"
#include "link/frame.h"
#include "link/frame_builder.h"
#include "support/main_window_probe.h"
#include "support/test_settings.h"

#include <QtCore/QSettings>
#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

#include <memory>

using Chunks = QList<QByteArray>;
using Payloads = QList<QByteArray>;

namespace {

const QString organisation = QStringLiteral("velmar_serial_port");

// Bit by bit, without a table: the reference the table-driven routine must
// agree with.
uint16_t reference_crc16(const QByteArray &bytes)
{
    uint16_t reg = 0xFFFF;
    for (const char c : bytes) {
        reg ^= static_cast<uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit)
            reg = static_cast<uint16_t>((reg & 1u) ? (reg >> 1) ^ 0xA001u : reg >> 1);
    }
    return reg;
}

uint16_t crc_of(const QByteArray &bytes)
{
    return crc16(reinterpret_cast<const uint8_t *>(bytes.constData()),
                 static_cast<std::size_t>(bytes.size()));
}

QByteArray status_frame(const QByteArray &payload)
{
    return Frame_builder::build_status(reinterpret_cast<const uint8_t *>(payload.constData()),
                                       static_cast<std::size_t>(payload.size()));
}

QByteArray with_swapped_crc(QByteArray frame)
{
    const int last = frame.size() - 1;
    const char high = frame.at(last - 1);
    frame[last - 1] = frame.at(last);
    frame[last] = high;
    return frame;
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (const int v : values)
        result.append(static_cast<char>(v));
    return result;
}

// Version 1.0 with no cage: complete at four bytes. The flags byte tells
// frames apart.
QByteArray short_status(int flags)
{
    return bytes({0x10, flags, 0x00, 0x00});
}

// Version 1.1 with SFP 1 present: four fixed bytes and one ten-byte block.
QByteArray long_status()
{
    return bytes(
        {0x11, 0x0F, 0x08, 0x01, 0x43, 0x10, 0x20, 0x11, 0x22, 0x05, 0x14, 0x06, 0x0E, 0x00});
}

} // namespace

class Tst_frame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void crc16_matches_reference_data();
    void crc16_matches_reference();
    void builds_control_frame();
    void build_packet_gives_worked_example();

    void receives_stream_data();
    void receives_stream();
    void crc_mismatch_data();
    void crc_mismatch();
    void short_payload_data();
    void short_payload();

private:
    void start_window();
    void feed_all(const Chunks &chunks);

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Main_window_probe> probe;
    Payloads handed_on;
    QList<bool> crc_ok_seen;
};

void Tst_frame::initTestCase()
{
    isolate_settings();
}

void Tst_frame::start_window()
{
    // No port selected: the window must not open a serial device of the host.
    clear_saved_settings();
    QSettings settings(QSettings::UserScope, organisation, QString());
    settings.setValue(QStringLiteral("SerialPort/SerialPort"), -1);
    settings.sync();

    window = std::make_unique<MainWindow>();
    probe = std::make_unique<Main_window_probe>(*window);
    handed_on.clear();
    crc_ok_seen.clear();
    // The pointer is only valid during the emission, so copy what it shows.
    connect(window.get(), &MainWindow::parcing_data_ready, this, [this](uint8_t *payload) {
        const auto length = static_cast<int>(probe->receiver().completed_length());
        handed_on.append(QByteArray(reinterpret_cast<const char *>(payload), length));
        crc_ok_seen.append(probe->crc_ok());
    });
}

void Tst_frame::cleanup()
{
    probe.reset();
    window.reset();
}

void Tst_frame::feed_all(const Chunks &chunks)
{
    for (const QByteArray &chunk : chunks)
        probe->feed(chunk);
}

void Tst_frame::crc16_matches_reference_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("expected"); // -1: only compare with the reference

    QTest::newRow("check value") << QByteArray("123456789") << 0x4B37;
    QTest::newRow("empty") << QByteArray() << 0xFFFF;
    QTest::newRow("worked control frame")
        << bytes({0x52, 0x50, 0x04, 0x20, 0x20, 0x20, 0xE4}) << 0xD486;
    // Every table entry is reached by some single byte.
    for (int value = 0; value < 256; ++value)
        QTest::addRow("byte %02x", value) << bytes({value}) << -1;
    QByteArray ramp;
    for (int i = 0; i < 300; ++i)
        ramp.append(static_cast<char>(i * 7));
    QTest::newRow("300-byte ramp") << ramp << -1;
}

void Tst_frame::crc16_matches_reference()
{
    QFETCH(QByteArray, input);
    QFETCH(int, expected);

    QCOMPARE(crc_of(input), reference_crc16(input));
    if (expected >= 0)
        QCOMPARE(crc_of(input), static_cast<uint16_t>(expected));
}

void Tst_frame::builds_control_frame()
{
    const uint8_t payload[] = {0x20, 0x20, 0x20, 0xE4};
    QCOMPARE(Frame_builder::build_control(payload, sizeof payload),
             bytes({0x52, 0x50, 0x04, 0x20, 0x20, 0x20, 0xE4, 0xD4, 0x86}));
}

void Tst_frame::build_packet_gives_worked_example()
{
    start_window();
    probe->dante().gain[0] = 32;
    probe->dante().gain[1] = 32;
    probe->rx_trshd() = -28;
    QCOMPARE(probe->build_packet(), bytes({0x52, 0x50, 0x04, 0x20, 0x20, 0x20, 0xE4, 0xD4, 0x86}));
}

void Tst_frame::receives_stream_data()
{
    QTest::addColumn<Chunks>("chunks");
    QTest::addColumn<Payloads>("expected");
    QTest::addColumn<int>("byte_count");

    const QByteArray p1 = short_status(0x05);
    const QByteArray p2 = short_status(0x0A);
    const QByteArray f1 = status_frame(p1);
    const QByteArray f2 = status_frame(p2);
    const QByteArray lf = status_frame(long_status());

    for (int at = 1; at < lf.size(); ++at)
        QTest::addRow("split at %d", at)
            << Chunks{lf.left(at), lf.mid(at)} << Payloads{long_status()} << lf.size() - at;
    Chunks singles;
    for (const char c : lf)
        singles.append(QByteArray(1, c));
    QTest::newRow("one byte per chunk") << singles << Payloads{long_status()} << 1;

    QTest::newRow("two frames in one chunk")
        << Chunks{f1 + f2} << Payloads{p1, p2} << 2 * (f1 + f2).size();
    QTest::newRow("frames across chunks") << Chunks{f1 + f2.left(4), f2.mid(4)} << Payloads{p1, p2}
                                          << (f1.size() + 4) + (f2.size() - 4);

    // A first sync byte and the byte after it are dropped as a pair, so the
    // second "P" cannot pair with the "R".
    const QByteArray body = f1.mid(frame::sync_size);
    QTest::newRow("50 50 52 then a frame body")
        << Chunks{bytes({0x50}) + f1.left(2) + body} << Payloads{} << 0;
    QTest::newRow("50 50 52 body, then a good frame")
        << Chunks{bytes({0x50}) + f1.left(2) + body, f2} << Payloads{p2} << f2.size();

    const QByteArray garbage = bytes({0x00, 0xFF, 0x52, 0x50, 0x13, 0x50, 0x41, 0x52, 0x52, 0x07});
    QTest::newRow("garbage before a frame")
        << Chunks{garbage + f1} << Payloads{p1} << (garbage + f1).size();
    QTest::newRow("garbage alone counts nothing")
        << Chunks{garbage, f1} << Payloads{p1} << f1.size();

    QTest::newRow("empty chunk alone") << Chunks{QByteArray()} << Payloads{} << 0;
    QTest::newRow("empty chunk mid-frame")
        << Chunks{f1.left(5), QByteArray(), f1.mid(5)} << Payloads{p1} << f1.size() - 5;

    // Lengths the buffers cannot hold: the frame is abandoned at its length
    // byte and nothing is counted for it.
    for (const int length : {0, 45, 255}) {
        const QByteArray bad_header = bytes({0x50, 0x52, length});
        QTest::addRow("length %d, then a frame", length)
            << Chunks{bad_header, f1} << Payloads{p1} << f1.size();
        QTest::addRow("length %d and a frame in one chunk", length)
            << Chunks{bad_header + f1} << Payloads{p1} << (bad_header + f1).size();
        QTest::addRow("length %d with filler, then a frame", length)
            << Chunks{bad_header + QByteArray(60, '\x11'), f2} << Payloads{p2} << f2.size();
    }

    QByteArray largest = short_status(0x01);
    largest.append(QByteArray(static_cast<int>(frame::max_payload) - largest.size(), '\x33'));
    const QByteArray largest_frame = status_frame(largest);
    QTest::newRow("44-byte payload")
        << Chunks{largest_frame, f2} << Payloads{largest, p2} << largest_frame.size() + f2.size();
}

void Tst_frame::receives_stream()
{
    start_window();
    QFETCH(Chunks, chunks);
    QFETCH(Payloads, expected);
    QFETCH(int, byte_count);

    feed_all(chunks);

    QCOMPARE(handed_on, expected);
    QCOMPARE(probe->rx_byte_count(), byte_count);
    QCOMPARE(probe->crc_ok(), !expected.isEmpty());
    for (const bool seen : qAsConst(crc_ok_seen))
        QVERIFY(seen);
    QCOMPARE(probe->receiver().state(), Frame_receiver::wait_sync);
}

void Tst_frame::crc_mismatch_data()
{
    QTest::addColumn<QByteArray>("rejected_payload");

    QTest::newRow("swapped crc") << bytes({0x37, 0x01, 0x02, 0x03, 0x04});
    // A frame hidden inside the rejected one is not searched for again.
    QTest::newRow("frame inside the rejected payload")
        << bytes({0x21}) + status_frame(short_status(0x03));
}

void Tst_frame::crc_mismatch()
{
    start_window();
    QFETCH(QByteArray, rejected_payload);

    const QByteArray bad = with_swapped_crc(status_frame(rejected_payload));
    QVERIFY(bad.at(bad.size() - 1) != bad.at(bad.size() - 2));
    const QByteArray good = status_frame(short_status(0x06));

    probe->crc_ok() = true;
    QSignalSpy redraws(&probe->parcer(), &Parcer::update_data_ready);
    QTest::ignoreMessage(QtDebugMsg, "crc mismatch");
    probe->feed(bad);

    QVERIFY(handed_on.isEmpty());
    QCOMPARE(redraws.count(), 0);
    QCOMPARE(probe->crc_ok(), false);
    QCOMPARE(probe->parcer().protocol_version, static_cast<uint8_t>(rejected_payload.at(0)));
    QCOMPARE(probe->rx_byte_count(), bad.size());

    probe->feed(good);
    QCOMPARE(handed_on, Payloads{short_status(0x06)});
    QCOMPARE(crc_ok_seen, QList<bool>{true});
    QCOMPARE(probe->crc_ok(), true);
    QCOMPARE(redraws.count(), 1);
    QCOMPARE(probe->parcer().protocol_version, uint8_t{0x10});
    QCOMPARE(probe->rx_byte_count(), bad.size() + good.size());
}

void Tst_frame::short_payload_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("decoded");

    QTest::newRow("one byte") << bytes({0x10}) << false;
    QTest::newRow("fixed part cut short") << bytes({0x10, 0x00, 0x00}) << false;
    QTest::newRow("1.1, SFP 1 present, no block") << bytes({0x11, 0x00, 0x00, 0x01}) << false;
    QTest::newRow("1.1, SFP 1 block one byte short") << long_status().chopped(1) << false;
    QTest::newRow("1.1, SFP 1 block complete") << long_status() << true;
    QTest::newRow("1.0, three cages, two blocks")
        << bytes({0x10, 0, 0, 0x39}) + QByteArray(10, '\0') << false;
    QTest::newRow("1.0, three cages, three blocks")
        << bytes({0x10, 0, 0, 0x39}) + QByteArray(15, '\0') << true;
    QTest::newRow("2.0 without its Dante region") << bytes({0x20, 0, 0, 0}) << false;
    QTest::newRow("2.0 with its Dante region") << bytes({0x20, 0, 0, 0, 0, 5, 6, 0xE2}) << true;
}

void Tst_frame::short_payload()
{
    start_window();
    QFETCH(QByteArray, payload);
    QFETCH(bool, decoded);

    // Fill the buffer first, so a short frame would be completed from stale
    // bytes if it were decoded.
    probe->feed(status_frame(bytes({0x20, 0x7F, 0x0F, 0x3F}) + QByteArray(34, '\x44')));
    QCOMPARE(handed_on.size(), 1);
    handed_on.clear();
    probe->rx_byte_count() = 0;
    probe->crc_ok() = false;

    QSignalSpy redraws(&probe->parcer(), &Parcer::update_data_ready);
    const QByteArray frame = status_frame(payload);
    if (!decoded)
        QTest::ignoreMessage(QtDebugMsg, "Short status message dropped");
    probe->feed(frame);

    QCOMPARE(handed_on, decoded ? Payloads{payload} : Payloads{});
    QCOMPARE(redraws.count(), decoded ? 1 : 0);
    QCOMPARE(probe->crc_ok(), true);
    QCOMPARE(probe->rx_byte_count(), frame.size());
}

QTEST_MAIN(Tst_frame)
#include "tst_frame.moc"
