#include "session/session.h"
#include "support/debug_lines.h"
#include "support/pty_line.h"
#include "support/session_line_test.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

#include <memory>

namespace {

constexpr int frame_size = 9;
constexpr int gain_0_byte = 4, threshold_byte = 6; // in a control frame
// Releases the frame in flight and alters nothing: a 1.1 report has no Dante region.
const QByteArray acknowledgement = status_frame(QByteArray::fromHex("110F1800"));

QList<QVariantList> told(int input, double db)
{
    return db > 0 ? QList<QVariantList>{{input, db}} : QList<QVariantList>{};
}

} // namespace

class Tst_session : public Session_line_test
{
    Q_OBJECT

    // The frames written to the line, each released by an acknowledgement, up to the first
    // that carries the marker threshold; an intent sent last marks the end of what came before.
    QByteArrayList frames_through(int8_t marker)
    {
        QByteArrayList sent;
        while (sent.isEmpty() || sent.last().at(threshold_byte) != char(marker)) {
            const QByteArray frame = collect(unit, frame_size);
            if (frame.size() < frame_size)
                break;
            sent << frame;
            session->receive(acknowledgement);
        }
        return sent;
    }

private Q_SLOTS:
    void conversion_data()
    {
        QTest::addColumn<double>("entered");
        QTest::addColumn<double>("snapped"); // what the editor is told; 0: nothing
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("emitted"); // frames for the entry, the unit reporting 32
        QTest::newRow("23.0 lowest") << 23.0 << 0.0 << 0 << 1;
        QTest::newRow("70.25 highest") << 70.25 << 0.0 << 63 << 1;
        QTest::newRow("47.25 snaps onto the unit's 32") << 47.25 << 47.0 << 32 << 0;
        QTest::newRow("47.5 snaps up") << 47.5 << 47.75 << 33 << 2;
        QTest::newRow("47.75 on the grid") << 47.75 << 0.0 << 33 << 1;
        QTest::newRow("47.37 rounds to 47.0") << 47.37 << 47.0 << 32 << 0;
        QTest::newRow("47.38 rounds to 47.75") << 47.38 << 47.75 << 33 << 2;
    }

    void conversion()
    {
        QFETCH(double, entered);
        QFETCH(double, snapped);
        QFETCH(int, code);
        QFETCH(int, emitted);
        for (int input = 0; input < 2; ++input) {
            QSignalSpy editor(session.get(), &Session::gain_changed);
            session->set_gain(input, entered);
            const auto marker = static_cast<int8_t>(Control_payload::threshold_min_dbm + input);
            session->apply_threshold(marker);
            const QByteArrayList sent = frames_through(marker);
            QVERIFY(!sent.isEmpty());
            QCOMPARE(
                QVector<int>({int(sent.size()) - 1, uint8_t(sent.last()[gain_0_byte + input])}),
                QVector<int>({emitted, code}));
            QCOMPARE(static_cast<QList<QVariantList>>(editor), told(input, snapped));
        }
    }

    void reading_gain()
    {
        session->set_gain(0, 50.0);
        session->set_gain(1, 30.5);
        QSignalSpy editor(session.get(), &Session::gain_changed);
        session->load_reported_gains(); // as a connection before any Dante block does
        Status_payload report;
        report.gain[0] = 64; // more than an editor can show
        report.gain[1] = 20;
        session->receive(report.frame());
        session->load_reported_gains();
        session->apply_threshold(-35);
        QCOMPARE(static_cast<QList<QVariantList>>(editor),
                 told(0, 47.0) + told(1, 47.0) + told(0, 70.25) + told(1, 38.0));
        // The two entries, nothing for the defaults, 63 for the unit's 64, then the marker.
        QByteArrayList expected;
        for (const char *payload : {"20242000", "20240A00", "203F2000", "203F14DD"})
            expected << control_frame(QByteArray::fromHex(payload));
        QCOMPARE(frames_through(-35), expected);
    }

    void reports_each_frame_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<QStringList>("emitted"); // in order
        QTest::addColumn<QStringList>("debug");
        const QByteArray good = Status_payload().frame(), bad = with_bad_crc(good);
        Status_payload acked, disowned;
        acked.links |= 0x10;
        disowned.dante |= 0x80;
        // Three cages announced and no block sent.
        const QByteArray cut = status_frame(QByteArray::fromHex("200F0F29"));
        const QString crc = QStringLiteral("crc mismatch");
        const QString dropped = QStringLiteral("Short status message dropped");
        QTest::newRow("good") << good << QStringList{"status"} << QStringList();
        QTest::newRow("acknowledgement")
            << acked.frame() << QStringList{"ack", "status"} << QStringList();
        QTest::newRow("Dante disowns its report")
            << disowned.frame() << QStringList{"status"}
            << QStringList{"Invalid message from dante submodule"};
        QTest::newRow("bad CRC") << bad << QStringList{"crc"} << QStringList{crc};
        QTest::newRow("too short") << cut << QStringList{"short"} << QStringList{dropped};
        QTest::newRow("three in one chunk")
            << good.repeated(3) << QStringList{"status", "status", "status"} << QStringList();
        QTest::newRow("mixed chunk")
            << good + bad + cut + acked.frame()
            << QStringList{"status", "crc", "short", "ack", "status"} << QStringList{crc, dropped};
        QTest::newRow("lengths 0 and 45 given up at once")
            << QByteArray("PR\x00", 3) + good + QByteArray("PR\x2D") + good
            << QStringList{"status", "status"} << QStringList();
    }

    void reports_each_frame()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(QStringList, emitted);
        QFETCH(QStringList, debug);
        QStringList seen;
        const auto record = [this, &seen](auto signal, const char *name) {
            connect(session.get(), signal, this, [&seen, name] { seen << name; });
        };
        record(&Session::acknowledged, "ack");
        record(&Session::status_received, "status");
        record(&Session::crc_mismatch, "crc");
        record(&Session::short_message, "short");
        Debug_lines lines;
        session->receive(chunk);
        QCOMPARE(seen, emitted);
        QCOMPARE(lines.take(), debug);
    }
};

QTEST_MAIN(Tst_session)
#include "tst_session.moc"
