// The wire frame: CRC-16, the control frame, and the byte-by-byte receiver fed
// through the main window's read slot as the channel feeds it.

#include "app/mainwindow.h"
#include "link/crc16.h"
#include "link/frame.h"
#include "link/frame_builder.h"
#include "support/main_window_probe.h"
#include "support/pty_window.h"
#include "support/test_settings.h"

#include <QtTest/QSignalSpy>
#include <QtTest/QtTest>

using Chunks = QList<QByteArray>;
using Payloads = QList<QByteArray>;

namespace {

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

// Version 1.0 without cages (told apart by the flags), 1.1 with SFP 1's block.
const QByteArray short_1 = QByteArray::fromHex("10050000");
const QByteArray short_2 = QByteArray::fromHex("100A0000");
const QByteArray long_status = QByteArray::fromHex("110F0801 43102011220514060E00");
const QByteArray worked_control_frame = QByteArray::fromHex("52500420 2020E4 D486");

} // namespace

class Tst_frame : public QObject
{
    Q_OBJECT

    std::unique_ptr<Probed_window> w;
    Main_window_probe *probe = nullptr;
    Payloads handed_on;
    QList<bool> crc_ok_seen;

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void init()
    {
        w = make_window_without_port();
        probe = &w->probe;
        handed_on.clear();
        crc_ok_seen.clear();
        // The pointer is only valid during the emission, so copy what it shows.
        connect(&w->window, &MainWindow::parcing_data_ready, this, [this](uint8_t *payload) {
            const auto length = static_cast<int>(probe->receiver().completed_length());
            handed_on.append(QByteArray(reinterpret_cast<const char *>(payload), length));
            crc_ok_seen.append(probe->crc_ok());
        });
    }

    void cleanup() { w.reset(); }

    void crc16_and_the_worked_control_frame()
    {
        QCOMPARE(crc_of("123456789"), uint16_t{0x4B37});
        QCOMPARE(crc_of(QByteArray()), uint16_t{0xFFFF});
        const uint8_t payload[] = {0x20, 0x20, 0x20, 0xE4};
        QCOMPARE(Frame_builder::build_control(payload, sizeof payload), worked_control_frame);
        probe->dante().gain[0] = 32;
        probe->dante().gain[1] = 32;
        probe->rx_trshd() = -28;
        QCOMPARE(probe->build_packet(), worked_control_frame);
    }

    void receives_stream_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<Payloads>("expected");
        QTest::addColumn<int>("byte_count"); // what rx_byte_count holds afterwards

        const QByteArray f1 = status_frame(short_1), f2 = status_frame(short_2);
        const QByteArray lf = status_frame(long_status);
        for (int at = 1; at < lf.size(); ++at)
            QTest::addRow("split at %d", at)
                << Chunks{lf.left(at), lf.mid(at)} << Payloads{long_status} << lf.size() - at;
        Chunks singles;
        for (const char c : lf)
            singles.append(QByteArray(1, c));
        QTest::newRow("one byte per chunk") << singles << Payloads{long_status} << 1;
        QTest::newRow("two frames in one chunk")
            << Chunks{f1 + f2} << Payloads{short_1, short_2} << 2 * (f1 + f2).size();
        // A first sync byte and the byte after it are dropped as a pair, so the
        // second "P" cannot pair with the "R" and the body after it is noise.
        QTest::newRow("50 50 52 body, then a good frame")
            << Chunks{"P" + f1, f2} << Payloads{short_2} << f2.size();
        const QByteArray garbage = QByteArray::fromHex("00FF5250 13504152 5207");
        QTest::newRow("garbage before a frame")
            << Chunks{garbage + f1} << Payloads{short_1} << (garbage + f1).size();
        QTest::newRow("empty chunk alone") << Chunks{QByteArray()} << Payloads{} << 0;
        QTest::newRow("empty chunk mid-frame")
            << Chunks{f1.left(5), QByteArray(), f1.mid(5)} << Payloads{short_1} << f1.size() - 5;
        // Lengths the buffers cannot hold: the frame ends at its length byte
        // and nothing is counted for it.
        for (const int length : {0, 45, 255}) {
            const QByteArray bad_header = "PR" + QByteArray(1, static_cast<char>(length));
            QTest::addRow("length %d and a frame in one chunk", length)
                << Chunks{bad_header + f1} << Payloads{short_1} << (bad_header + f1).size();
            QTest::addRow("length %d with filler, then a frame", length)
                << Chunks{bad_header + QByteArray(60, '\x11'), f2} << Payloads{short_2}
                << f2.size();
        }
        QByteArray largest = short_1;
        largest.append(QByteArray(static_cast<int>(frame::max_payload) - largest.size(), '\x33'));
        const QByteArray largest_frame = status_frame(largest);
        QTest::newRow("44-byte payload") << Chunks{largest_frame, f2} << Payloads{largest, short_2}
                                         << largest_frame.size() + f2.size();
    }

    void receives_stream()
    {
        QFETCH(Chunks, chunks);
        QFETCH(Payloads, expected);
        QFETCH(int, byte_count);
        for (const QByteArray &chunk : chunks)
            probe->feed(chunk);
        QCOMPARE(handed_on, expected);
        QCOMPARE(probe->rx_byte_count(), byte_count);
        QCOMPARE(probe->crc_ok(), !expected.isEmpty());
        QVERIFY(!crc_ok_seen.contains(false));
        QCOMPARE(probe->receiver().state(), Frame_receiver::wait_sync);
    }

    void swapped_crc_is_rejected()
    {
        // A frame hidden inside the rejected one is not searched for again.
        const QByteArray rejected_payload = "\x21" + status_frame(short_1);
        QByteArray bad = status_frame(rejected_payload);
        std::swap(bad.data()[bad.size() - 1], bad.data()[bad.size() - 2]);
        QVERIFY(bad.at(bad.size() - 1) != bad.at(bad.size() - 2));

        probe->crc_ok() = true;
        QSignalSpy redraws(&probe->parcer(), &Parcer::update_data_ready);
        QTest::ignoreMessage(QtDebugMsg, "crc mismatch");
        probe->feed(bad);
        QVERIFY(handed_on.isEmpty());
        QCOMPARE(redraws.count(), 0);
        QCOMPARE(probe->crc_ok(), false);
        QCOMPARE(probe->parcer().protocol_version, uint8_t{0x21});
        QCOMPARE(probe->rx_byte_count(), bad.size());

        const QByteArray good = status_frame(short_2);
        probe->feed(good);
        QCOMPARE(handed_on, Payloads{short_2});
        QCOMPARE(crc_ok_seen, QList<bool>{true});
        QCOMPARE(redraws.count(), 1);
        QCOMPARE(probe->rx_byte_count(), bad.size() + good.size());
    }
};

QTEST_MAIN(Tst_frame)
#include "tst_frame.moc"
