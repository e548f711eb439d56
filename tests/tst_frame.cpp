// The byte-by-byte receiver is fed through the window's read slot, as the channel feeds it.

#include "link/crc16.h"
#include "link/frame.h"
#include "support/pty_window.h"
#include "support/status_payload.h"
#include "support/test_settings.h"

#include <QtTest/QtTest>

using Chunks = QList<QByteArray>;
using Payloads = QList<QByteArray>;

// Version 1.0 without cages (told apart by the flags), 1.1 with SFP 1's block.
const QByteArray short_1 = QByteArray::fromHex("10050000");
const QByteArray short_2 = QByteArray::fromHex("100A0000");
const QByteArray long_status = QByteArray::fromHex("110F0801 43102011220514060E00");
const QByteArray worked_control_frame = QByteArray::fromHex("52500420 2020E4 D486");

class Tst_frame : public QObject
{
    Q_OBJECT

    std::unique_ptr<Probed_window> w;
    Payloads handed_on;
    QList<bool> crc_ok_seen;

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void init()
    {
        w = make_window_without_port();
        handed_on.clear();
        crc_ok_seen.clear();
        // The pointer is only valid during the emission, so copy what it shows.
        connect(&w->window, &MainWindow::parcing_data_ready, this, [this](uint8_t *payload) {
            const auto length = static_cast<int>(w->probe.receiver().completed_length());
            handed_on.append(QByteArray(reinterpret_cast<const char *>(payload), length));
            crc_ok_seen.append(w->probe.crc_ok());
        });
    }

    void cleanup() { w.reset(); }

    void crc16_and_the_worked_control_frame()
    {
        QCOMPARE(crc16(reinterpret_cast<const uint8_t *>("123456789"), 9), uint16_t{0x4B37});
        QCOMPARE(control_frame(QByteArray::fromHex("202020E4")), worked_control_frame);
        w->probe.dante().gain[0] = w->probe.dante().gain[1] = 32;
        w->probe.rx_trshd() = -28;
        QCOMPARE(w->probe.build_packet(), worked_control_frame);
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
        // "P" and the byte after it are dropped as a pair: the frame's own "PR" is missed.
        QTest::newRow("50 50 52 body, then a good frame")
            << Chunks{"P" + f1, f2} << Payloads{short_2} << f2.size();
        const QByteArray garbage = QByteArray::fromHex("00FF5250 13504152 5207");
        QTest::newRow("garbage before a frame")
            << Chunks{garbage + f1} << Payloads{short_1} << (garbage + f1).size();
        QTest::newRow("empty chunk mid-frame")
            << Chunks{f1.left(5), QByteArray(), f1.mid(5)} << Payloads{short_1} << f1.size() - 5;
        // Lengths the buffers cannot hold end the frame at once, uncounted.
        for (const int length : {0, 45, 255}) {
            const QByteArray bad_header = "PR" + QByteArray(1, char(length));
            const Chunks chunks{bad_header + f1, bad_header + QByteArray(60, '\x11'), f2};
            QTest::addRow("length %d, then a frame", length)
                << chunks << Payloads{short_1, short_2} << chunks.first().size() + f2.size();
        }
        const QByteArray largest = short_1 + QByteArray(int(frame::max_payload) - 4, '\x33');
        const QByteArray largest_frame = status_frame(largest);
        QTest::newRow("44-byte payload") << Chunks{largest_frame, f2} << Payloads{largest, short_2}
                                         << largest_frame.size() + f2.size();
    }

    void receives_stream()
    {
        QFETCH(Chunks, chunks);
        QFETCH(Payloads, expected);
        for (const QByteArray &chunk : chunks)
            w->probe.feed(chunk);
        QCOMPARE(handed_on, expected);
        QTEST(w->probe.rx_byte_count(), "byte_count");
        QCOMPARE(w->probe.crc_ok(), !expected.isEmpty());
        QVERIFY(!crc_ok_seen.contains(false));
        QCOMPARE(w->probe.receiver().state(), Frame_receiver::wait_sync);
    }

    void swapped_crc_is_rejected()
    {
        // A frame hidden inside the rejected one is not searched for again.
        QByteArray bad = status_frame("\x21" + status_frame(short_1));
        std::swap(bad.data()[bad.size() - 1], bad.data()[bad.size() - 2]);

        w->probe.crc_ok() = true;
        QSignalSpy redraws(&w->probe.parcer(), &Parcer::update_data_ready);
        QTest::ignoreMessage(QtDebugMsg, "crc mismatch");
        w->probe.feed(bad);
        QVERIFY(handed_on.isEmpty() && redraws.isEmpty() && !w->probe.crc_ok());
        QCOMPARE(w->probe.parcer().protocol_version, uint8_t{0x21});
        QCOMPARE(w->probe.rx_byte_count(), bad.size());

        const QByteArray good = status_frame(short_2);
        w->probe.feed(good);
        QCOMPARE(handed_on, Payloads{short_2});
        QVERIFY(crc_ok_seen == QList<bool>{true} && redraws.count() == 1);
        QCOMPARE(w->probe.rx_byte_count(), bad.size() + good.size());
    }
};

QTEST_MAIN(Tst_frame)
#include "tst_frame.moc"
