#include "link/crc16.h"
#include "link/frame.h"
#include "support/pty_window.h"
#include "support/status_payload.h"
#include "support/test_settings.h"
#include <QtTest/QtTest>

using Chunks = QList<QByteArray>;
using Payloads = Chunks;

const QByteArray short_1 = QByteArray::fromHex("10050000"),
                 short_2 = QByteArray::fromHex("100A0000");
const QByteArray long_status = QByteArray::fromHex("110F0801 43102011220514060E00");

class Tst_frame : public QObject
{
    Q_OBJECT

    std::unique_ptr<Probed_window> w;
    Payloads handed_on;

private Q_SLOTS:
    void initTestCase() { isolate_settings(); }

    void init()
    {
        w = make_window_without_port();
        handed_on.clear();
        connect(&w->window, &MainWindow::parcing_data_ready, this, [this](uint8_t *payload) {
            const auto length = static_cast<int>(w->probe.receiver().completed_length());
            handed_on.append(QByteArray(reinterpret_cast<const char *>(payload), length));
        });
    }

    void receives_stream_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<Payloads>("expected");
        QTest::addColumn<int>("byte_count"); // what rx_byte_count holds afterwards
        const QByteArray f1 = status_frame(short_1), f2 = status_frame(short_2);
        const QByteArray lf = status_frame(long_status);
        for (int at = 1; at < lf.size(); ++at)
            QTest::addRow("split at %d", at) << Chunks{lf.left(at), QByteArray(), lf.mid(at)}
                                             << Payloads{long_status} << lf.size() - at;
        Chunks singles;
        for (const char c : lf)
            singles << QByteArray(1, c);
        QTest::newRow("one byte per chunk") << singles << Payloads{long_status} << 1;
        // "P" and the byte after it are dropped as a pair: the frame's own "PR" is missed.
        QTest::newRow("50 50 52 body, then a good frame")
            << Chunks{"P" + f1, f2} << Payloads{short_2} << f2.size();
        const QByteArray junk_f1 = QByteArray::fromHex("00FF5250 13504152 5207") + f1;
        QTest::newRow("garbage before a frame")
            << Chunks{junk_f1} << Payloads{short_1} << junk_f1.size();
        // Lengths the buffers cannot hold end the frame at once, uncounted.
        for (const int length : {0, 45, 255}) {
            const QByteArray bad_header = "PR" + QByteArray(1, char(length));
            const Chunks chunks{bad_header + f1, bad_header + QByteArray(60, '\x11'), f2};
            QTest::addRow("length %d, then a frame", length)
                << chunks << Payloads{short_1, short_2} << chunks.first().size() + f2.size();
        }
        const QByteArray largest = short_1 + QByteArray(int(frame::max_payload) - 4, '\x33');
        const QByteArray both = status_frame(largest) + f2;
        QTest::newRow("two frames in one chunk, 44-byte payload first")
            << Chunks{both} << Payloads{largest, short_2} << 2 * both.size(); // counted per frame
    }

    void receives_stream()
    {
        QFETCH(Chunks, chunks);
        QFETCH(Payloads, expected);
        for (const QByteArray &chunk : chunks)
            w->probe.feed(chunk);
        QCOMPARE(handed_on, expected);
        QTEST(w->probe.rx_byte_count(), "byte_count");
    }

    void crc_built_and_checked()
    {
        QCOMPARE(crc16(reinterpret_cast<const uint8_t *>("123456789"), 9), uint16_t{0x4B37});
        w->probe.dante().gain[0] = w->probe.dante().gain[1] = 32;
        w->probe.rx_trshd() = -28;
        QCOMPARE(w->probe.build_packet(), QByteArray::fromHex("525004202020E4D486"));
        // Swapped CRC bytes; a frame hidden inside the rejected one is not searched for again.
        QByteArray bad = status_frame("\x21" + status_frame(short_1));
        std::swap(bad.data()[bad.size() - 1], bad.data()[bad.size() - 2]);
        w->probe.crc_ok() = true;
        QTest::ignoreMessage(QtDebugMsg, "crc mismatch");
        w->probe.feed(bad);
        QVERIFY(handed_on.isEmpty() && !w->probe.crc_ok());
        QCOMPARE(w->probe.parcer().protocol_version, uint8_t{0x21});
        w->probe.feed(status_frame(short_2));
        QVERIFY(handed_on == Payloads{short_2} && w->probe.crc_ok());
        QCOMPARE(w->probe.rx_byte_count(), bad.size() + status_frame(short_2).size());
    }
};

QTEST_MAIN(Tst_frame)
#include "tst_frame.moc"
