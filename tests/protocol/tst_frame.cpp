#include "protocol/control_payload.h"
#include "protocol/crc16.h"
#include "protocol/frame.h"
#include "protocol/frame_receiver.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

using Chunks = QList<QByteArray>;

namespace {

const QByteArray short_1 = QByteArray::fromHex("10050000"),
                 short_2 = QByteArray::fromHex("100A0000");
const QByteArray long_status = QByteArray::fromHex("110F0801 43102011220514060E00");

// One line per frame that ended: the chunk it ended in, how, and its payload
// (a rejected frame's payload is what the session takes the version from).
QString ended(int chunk, const char *how, const QByteArray &payload = {})
{
    return QStringLiteral("chunk %1: %2 %3").arg(chunk).arg(how, payload.toHex());
}

QStringList receive(const Chunks &chunks)
{
    using E = Frame_receiver::Event;
    Frame_receiver receiver;
    QStringList log;
    for (int chunk = 0; chunk < chunks.size(); ++chunk) {
        for (const char byte : chunks[chunk]) {
            const E event = receiver.push(uint8_t(byte));
            const QByteArray payload(reinterpret_cast<const char *>(receiver.payload()),
                                     int(receiver.completed_length()));
            if (event != E::none)
                log << (event == E::dropped
                            ? ended(chunk, "dropped")
                            : ended(chunk, event == E::crc_good ? "good" : "bad", payload));
        }
    }
    return log;
}

} // namespace

class Tst_frame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void receives_stream_data()
    {
        QTest::addColumn<Chunks>("chunks");
        QTest::addColumn<QStringList>("expected");
        const QByteArray f1 = status_frame(short_1), f2 = status_frame(short_2);
        const QByteArray lf = status_frame(long_status);
        for (int at = 1; at < lf.size(); ++at)
            QTest::addRow("split at %d", at) << Chunks{lf.left(at), QByteArray(), lf.mid(at)}
                                             << QStringList{ended(2, "good", long_status)};
        Chunks singles;
        for (const char c : lf)
            singles << QByteArray(1, c);
        QTest::newRow("one byte per chunk")
            << singles << QStringList{ended(lf.size() - 1, "good", long_status)};
        // "P" and the byte after it are dropped as a pair: the frame's own "PR" is missed.
        QTest::newRow("50 50 52 body, then a good frame")
            << Chunks{"P" + f1, f2} << QStringList{ended(1, "good", short_2)};
        QTest::newRow("garbage before a frame")
            << Chunks{QByteArray::fromHex("00FF5250 13504152 5207") + f1}
            << QStringList{ended(0, "good", short_1)};
        // A corrupted sync pair hides the whole frame, "PP" included.
        for (const int sync_2 : {0x50, 0x00, 0x53, 0xD2}) {
            QByteArray bad_sync = f1;
            bad_sync[1] = char(sync_2);
            QTest::addRow("second sync byte %02X, then a frame", sync_2)
                << Chunks{bad_sync, f2} << QStringList{ended(1, "good", short_2)};
        }
        QTest::newRow("first sync byte 52, then a frame")
            << Chunks{'R' + f1.mid(1), f2} << QStringList{ended(1, "good", short_2)};
        // Lengths the buffers cannot hold end the frame at once.
        for (const int length : {0, 45, 255}) {
            const QByteArray bad_header = "PR" + QByteArray(1, char(length));
            QTest::addRow("length %d, then a frame", length)
                << Chunks{bad_header + f1, bad_header + QByteArray(60, '\x11'), f2}
                << QStringList{ended(0, "dropped"), ended(0, "good", short_1), ended(1, "dropped"),
                               ended(2, "good", short_2)};
        }
        const QByteArray largest = short_1 + QByteArray(int(frame::max_payload) - 4, '\x33');
        QTest::newRow("two frames in one chunk, 44-byte payload first")
            << Chunks{status_frame(largest) + f2}
            << QStringList{ended(0, "good", largest), ended(0, "good", short_2)};
        // A frame hidden inside the rejected one is not searched for again.
        const QByteArray outer = "\x21" + f1;
        QByteArray swapped = status_frame(outer);
        std::swap(swapped.data()[swapped.size() - 1], swapped.data()[swapped.size() - 2]);
        QVERIFY(swapped != status_frame(outer));
        QTest::newRow("swapped CRC bytes, then a frame")
            << Chunks{swapped, f2}
            << QStringList{ended(0, "bad", outer), ended(1, "good", short_2)};
    }

    void receives_stream()
    {
        QFETCH(Chunks, chunks);
        QTEST(receive(chunks), "expected");
    }

    // A control frame's bytes, whole, are what tst_session sends on Default Set.
    void crc_check_value()
    {
        QCOMPARE(crc16(reinterpret_cast<const uint8_t *>("123456789"), 9), uint16_t{0x4B37});
    }

    void control_parse_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("control") << QByteArray::fromHex("200C14E7") << true;
        QTest::newRow("out of the editors' range") << QByteArray::fromHex("20FF0080") << true;
        QTest::newRow("three bytes") << QByteArray::fromHex("200C14") << false;
        QTest::newRow("five bytes") << QByteArray::fromHex("200C14E700") << false;
        QTest::newRow("wrong tag") << QByteArray::fromHex("210C14E7") << false;
    }

    void control_parse()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, accepted);
        Control_payload parsed;
        QCOMPARE(Control_payload::parse(reinterpret_cast<const uint8_t *>(payload.data()),
                                        std::size_t(payload.size()), &parsed),
                 accepted);
        if (accepted) // the values read back make the same frame: each byte is in its field
            QCOMPARE(parsed.frame(), control_frame(payload));
    }
};

QTEST_GUILESS_MAIN(Tst_frame)
#include "tst_frame.moc"
