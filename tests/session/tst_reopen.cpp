#include "session/session.h"
#include "simulator/pty_device.h"
#include "support/debug_lines.h"
#include "support/pty_line.h"
#include "support/quick_timing.h"
#include "support/status_payload.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <memory>

namespace {

constexpr int line_timeout_ms = 5000;
// Long enough for two more attempts to reopen and for a repeated time-out.
constexpr int quiet_ms = 5 * qMax(quick_timing.reopen_ms, quick_timing.ack_timeout_ms) / 2;
// A coarse timer may fire up to 5 % early.
constexpr qint64 earliest_timeout_ms = quick_timing.ack_timeout_ms * 9 / 10;

} // namespace

class Tst_reopen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The session on a by-id link whose pseudo-terminal is closed (the port
    // is lost) and replaced by a new one behind the same link.
    void lost_line_comes_back_data()
    {
        QTest::addColumn<bool>("send");         // a control frame is in flight at the loss
        QTest::addColumn<QByteArray>("before"); // written after a good frame, before the loss
        QTest::addColumn<QByteArray>("after");  // written after the reopen
        QTest::addColumn<QString>("heard");     // after the reopen: 's' status, 'x' bad CRC
        const QByteArray frame = Status_payload().frame();
        const int cut = frame.size() / 2;
        QTest::newRow("the receiver keeps its place")
            << false << frame.left(cut) << frame.mid(cut) << "s";
        QTest::newRow("a frame cut by the loss fails its CRC")
            << false << frame.left(cut) << frame + frame << "xs";
        QTest::newRow("the frame in flight times out once") << true << QByteArray() << frame << "s";
    }

    void lost_line_comes_back()
    {
        QFETCH(bool, send);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QString, heard);
        const QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("unit"));
        auto line = std::make_unique<Pty_device>();
        QVERIFY(line->open() && point_link(link, line->slave_path()));
        const Debug_lines debug;
        Session session(quick_timing);
        session.set_listen_only(true);
        QVERIFY(session.open_port({link}));
        QSignalSpy lost(&session, &Session::port_lost);
        QSignalSpy reopened(&session, &Session::port_reopened);
        QSignalSpy timed_out(&session, &Session::ack_timed_out);
        QString seen;
        connect(&session, &Session::status_received, this, [&seen] { seen += 's'; });
        connect(&session, &Session::crc_mismatch, this, [&seen] { seen += 'x'; });
        QElapsedTimer in_flight;
        qint64 timed_out_after_ms = -1;
        connect(&session, &Session::ack_timed_out, this,
                [&] { timed_out_after_ms = in_flight.elapsed(); });
        if (send) {
            session.apply(Control_payload());
            in_flight.start();
            QCOMPARE(collect(*line, Control_payload().frame().size()), Control_payload().frame());
        }

        // In one write, so that the session reads the cut frame with the good one.
        QVERIFY(line->write_all(Status_payload().frame() + before));
        QTRY_COMPARE_WITH_TIMEOUT(seen, QString("s"), line_timeout_ms);
        QCOMPARE(line->unread_by_slave(), 0);
        line.reset(); // the adapter is pulled out, and udev takes its link away
        QFile::remove(link);
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, line_timeout_ms);
        seen.clear();
        line = std::make_unique<Pty_device>();
        QVERIFY(line->open() && point_link(link, line->slave_path()));
        QTRY_COMPARE_WITH_TIMEOUT(reopened.count(), 1, line_timeout_ms);
        const QString error_when_reopened = session.port_error();
        QVERIFY(line->write_all(after));
        QTRY_COMPARE_WITH_TIMEOUT(seen, heard, line_timeout_ms);

        QTest::qWait(quiet_ms);
        QCOMPARE(seen, heard);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(reopened.count(), 1);
        QCOMPARE(debug.count(QRegularExpression(QStringLiteral("^\"") +
                                                QRegularExpression::escape(link) +
                                                "\" Serial port reopened$")),
                 1);
        // The retries end with the reopen: no attempt to open a port that works fails.
        QCOMPARE(session.port_error(), error_when_reopened);
        QCOMPARE(timed_out.count(), send ? 1 : 0);
        QCOMPARE(debug.count(QRegularExpression("^Velmar UART timeout$")), send ? 1 : 0);
        if (send)
            QVERIFY2(timed_out_after_ms >= earliest_timeout_ms,
                     qPrintable(QString::number(timed_out_after_ms)));
        QCOMPARE(line->read_available(0), QByteArray()); // nothing is sent again
    }
};

QTEST_GUILESS_MAIN(Tst_reopen)
#include "tst_reopen.moc"
