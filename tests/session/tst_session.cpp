#include "session/session.h"
#include "support/debug_lines.h"
#include "support/pty_line.h"
#include "support/session_line_test.h"
#include "support/status_payload.h"

#include <QtTest/QtTest>

#include <memory>

namespace {

constexpr int frame_size = 9;
constexpr int threshold_byte = 6; // in a control frame
// Releases the frame in flight and alters nothing: a 1.1 report has no Dante region.
const QByteArray acknowledgement = status_frame(QByteArray::fromHex("110F1800"));

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
    // The editors are told what each conversion holds; a frame goes out for each
    // code that differs from the unit's, carrying the values of that moment.
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
                 (QList<QVariantList>{{0, 47.0}, {1, 47.0}, {0, 70.25}, {1, 38.0}}));
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
