// Under --changes, and in the window's record, a status gets a line of its own
// only when that line would read differently from the last, in every format.
#include "protocol/frame_builder.h"
#include "protocol/status_encoder.h"
#include "record/record_format.h"
#include "record/recorder.h"
#include "session/session.h"
#include "simulator/healthy_unit.h"

#include <QtCore/QBuffer>
#include <QtTest/QtTest>

#include <functional>

namespace {

using S = Unit_status;
using Change = std::function<void(S::Channel &, S &)>; // SFP 1's channel 1, the whole status

QByteArray frame_of(const S &status)
{
    const QByteArray payload = Status_encoder::payload(status, {});
    return Frame_builder::build_status(reinterpret_cast<const uint8_t *>(payload.constData()),
                                       std::size_t(payload.size()));
}

} // namespace

Q_DECLARE_METATYPE(Change)

class Record_changes_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void a_change_is_what_the_line_shows_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<Change>("both");   // how both statuses differ from a healthy unit
        QTest::addColumn<Change>("second"); // and the second from the first
        QTest::addColumn<int>("lines");     // status lines written
        const Change none = [](S::Channel &, S &) {};
        const Change power = [](S::Channel &c, S &) { c.power_tenths = -311; };
        const Change unassigned = [](S::Channel &c, S &) {
            c.direction = S::Direction::unassigned;
        };
        const Change no_direction = [](S::Channel &c, S &) { c.direction = S::Direction::none; };
        for (const char *format : {"json", "csv", "text"}) {
            const auto row = [format](const char *name, const Change &both, const Change &second,
                                      int lines) {
                QTest::addRow("%s, %s", name, format) << format << both << second << lines;
            };
            row("the power of an unassigned channel", unassigned, power, 1);
            row("the power of a channel of no direction", no_direction, power, 1);
            row(
                "a channel flag", none, [](S::Channel &c, S &) { c.flag = !c.flag; }, 1);
            row("the power of an Rx channel", none, power, 2);
            row(
                "a lock", none, [](S::Channel &, S &s) { s.locks[2] = false; }, 2);
        }
    }

    void a_change_is_what_the_line_shows()
    {
        QFETCH(QString, format);
        QFETCH(Change, both);
        QFETCH(Change, second);
        QFETCH(int, lines);
        Record_format::Kind kind = Record_format::Kind::json;
        QVERIFY(Record_format::kind_from_name(format, &kind));
        const auto record_format = Record_format::make(kind);
        Session session;
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        const Recorder recorder(session, *record_format, sink, Recorder::Policy::changes);
        S status = healthy_unit();
        for (const Change &change : {both, second}) {
            change(status.cages[S::sfp_1].channels[0], status);
            session.receive(frame_of(status));
        }
        QCOMPARE(int(sink.data().count("status")), lines);
    }
};

QTEST_GUILESS_MAIN(Record_changes_test)
#include "tst_record_changes.moc"
