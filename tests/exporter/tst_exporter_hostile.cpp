// velmar-exporter under clients that break the rules: an oversized request
// line, oversized headers, a client sending a byte a second, 500 connections
// at once and random bytes. Through all of it the units' statuses are all
// counted, and a good scrape is answered.

#include "exporter_rig.h"

#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <memory>

namespace {

constexpr int unit_count = 2;
constexpr int fast_rate = 200;
constexpr int crowd = 500;
constexpr int oversized_bytes = 256 * 1024;
constexpr int random_clients = 20;
constexpr int random_bytes = 4096;
constexpr int slow_byte_ms = 1000;
// Past the server's request time-out (5 s), with room for a busy machine.
constexpr int slow_client_ms = 15000;
constexpr int answer_ms = 20000;

using Socket = std::unique_ptr<QTcpSocket>;

Socket connected(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket;
}

// True once the server answered or hung up; what it answered is in *reply.
bool answered_or_closed(QTcpSocket &socket, QByteArray *reply, int timeout_ms = answer_ms)
{
    return QTest::qWaitFor(
        [&] {
            *reply += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState ||
                   reply->contains("\r\n\r\n");
        },
        timeout_ms);
}

// The status code of an HTTP/1.x answer, 0 for no answer.
int status_of(const QByteArray &reply)
{
    static const QRegularExpression status_line(QStringLiteral("^HTTP/1\\.[01] (\\d{3}) "));
    const QRegularExpressionMatch match = status_line.match(QString::fromLatin1(reply.left(16)));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

} // namespace

class Tst_exporter_hostile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // Fast units: a reader held up for a fraction of a second would lose
        // frames, which the counts below would show.
        for (int index = 0; index < unit_count; ++index) {
            Unit_simulator *unit = rig.add_unit();
            QVERIFY(unit && unit->execute(QStringLiteral("rate %1").arg(fast_rate)));
        }
        QVERIFY(rig.start_exporter());
        QTRY_VERIFY_WITH_TIMEOUT(rig.sample(rig.scrape(), "velmar_up", unit_count - 1) == 1,
                                 Exporter_rig::wait_ms);
    }

    void no_status_is_missed_while_clients_misbehave()
    {
        std::vector<qint64> sent_before, counted_before, sent_after, counted_after;
        QVERIFY(rig.quiesce(&sent_before, &counted_before));
        rig.resume();
        checks_while_a_slow_client_dribbles();
        if (QTest::currentTestFailed())
            return;
        QVERIFY(rig.quiesce(&sent_after, &counted_after));
        for (int index = 0; index < unit_count; ++index) {
            QVERIFY(sent_after[index] > sent_before[index]);
            QCOMPARE(counted_after[index] - counted_before[index],
                     sent_after[index] - sent_before[index]);
        }
        const QString server = QStringLiteral("http://127.0.0.1:%1").arg(rig.exporter_port());
        int status = 0;
        QVERIFY(rig.get(server + QStringLiteral("/metrics"), &status)
                    .contains("# TYPE velmar_up gauge"));
        QCOMPARE(status, 200);
        QVERIFY(rig.get(server + QStringLiteral("/"), &status).contains("href=\"/metrics\""));
        QCOMPARE(status, 200);
        rig.get(server + QStringLiteral("/metrics.txt"), &status);
        QCOMPARE(status, 404);
    }

private:
    void oversized_requests_are_refused()
    {
        const QByteArray long_line =
            "GET /" + QByteArray(oversized_bytes, 'a') + " HTTP/1.1\r\n\r\n";
        QByteArray long_headers = "GET /metrics HTTP/1.1\r\n";
        while (long_headers.size() < oversized_bytes)
            long_headers += "X-Filler: " + QByteArray(100, 'b') + "\r\n";
        long_headers += "\r\n";
        for (const QByteArray &request : {long_line, long_headers}) {
            Socket socket = connected(rig.exporter_port());
            socket->write(request);
            QByteArray reply;
            QVERIFY(answered_or_closed(*socket, &reply));
            // Refused with a 4xx, or the connection dropped: never a 200.
            const int status = status_of(reply);
            QVERIFY2(reply.isEmpty() || (status >= 400 && status < 500),
                     reply.left(80).constData());
        }
    }

    void random_bytes_are_refused()
    {
        for (int client = 0; client < random_clients; ++client) {
            QByteArray noise(random_bytes, '\0');
            for (char &byte : noise)
                byte = static_cast<char>(QRandomGenerator::global()->bounded(256));
            Socket socket = connected(rig.exporter_port());
            socket->write(noise);
            QByteArray reply;
            QVERIFY(answered_or_closed(*socket, &reply));
            QVERIFY2(reply.isEmpty() || status_of(reply) >= 400, reply.left(80).constData());
        }
    }

    void a_crowd_is_served()
    {
        std::vector<Socket> sockets;
        for (int client = 0; client < crowd; ++client) {
            sockets.push_back(connected(rig.exporter_port()));
            sockets.back()->write("GET /metrics HTTP/1.0\r\n\r\n");
        }
        int served = 0;
        for (Socket &socket : sockets) {
            QByteArray reply;
            QVERIFY(answered_or_closed(*socket, &reply));
            served += status_of(reply) == 200 ? 1 : 0;
        }
        qInfo() << served << "of" << crowd << "simultaneous clients served";
        QCOMPARE(served, crowd);
    }

    void checks_while_a_slow_client_dribbles()
    {
        const QByteArray request = "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n";
        Socket slow = connected(rig.exporter_port());
        QElapsedTimer clock;
        clock.start();
        int sent = 0;
        QTimer dribble;
        QObject::connect(&dribble, &QTimer::timeout, [&] {
            if (sent < request.size())
                slow->write(request.mid(sent++, 1));
        });
        dribble.start(slow_byte_ms);

        oversized_requests_are_refused();
        random_bytes_are_refused();
        a_crowd_is_served();
        // The server gives up on it rather than wait for the rest of its request.
        QTRY_VERIFY_WITH_TIMEOUT(slow->state() == QAbstractSocket::UnconnectedState,
                                 slow_client_ms);
        QVERIFY(sent < request.size());
        qInfo() << "the slow client was dropped after" << clock.elapsed() << "ms and" << sent
                << "bytes";
    }

    Exporter_rig rig;
};

QTEST_GUILESS_MAIN(Tst_exporter_hostile)
#include "tst_exporter_hostile.moc"
