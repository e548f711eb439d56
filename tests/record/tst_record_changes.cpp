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
using Change = std::function<void(S &)>;

QByteArray frame_of(const S &status)
{
    const QByteArray payload = Status_encoder::payload(status, {});
    return Frame_builder::build_status(reinterpret_cast<const uint8_t *>(payload.constData()),
                                       std::size_t(payload.size()));
}

S::Channel &first_channel(S &status)
{
    return status.cages[S::sfp_1].channels[0];
}

} // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(Record_format::Kind)

class Record_changes_test : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void a_change_is_what_the_line_shows_data()
    {
        QTest::addColumn<Record_format::Kind>("format");
        QTest::addColumn<Change>("both");   // how both statuses differ from a healthy unit
        QTest::addColumn<Change>("second"); // and the second from the first
        QTest::addColumn<int>("lines");     // status lines written
        const Change none = [](S &) {};
        const Change other_power = [](S &s) { first_channel(s).power_tenths = -311; };
        const auto direction = [](S::Direction d) {
            return [d](S &s) { first_channel(s).direction = d; };
        };
        const struct
        {
            const char *name;
            Change both, second;
            int lines;
        } rows[] = {
            {"the power of an unassigned channel", direction(S::Direction::unassigned), other_power,
             1},
            {"the power of a channel of no direction", direction(S::Direction::none), other_power,
             1},
            {"a channel flag", none, [](S &s) { first_channel(s).flag = !first_channel(s).flag; },
             1},
            {"the power of an Rx channel", none, other_power, 2},
            {"the power of a Tx channel", direction(S::Direction::tx), other_power, 2},
            {"a channel's direction", none, direction(S::Direction::tx), 2},
            {"a lock", none, [](S &s) { s.locks[2] = false; }, 2},
        };
        const std::pair<const char *, Record_format::Kind> formats[] = {
            {"json", Record_format::Kind::json},
            {"csv", Record_format::Kind::csv},
            {"text", Record_format::Kind::text}};
        for (const auto &format : formats) {
            for (const auto &row : rows)
                QTest::addRow("%s, %s", row.name, format.first)
                    << format.second << row.both << row.second << row.lines;
        }
    }

    void a_change_is_what_the_line_shows()
    {
        QFETCH(Record_format::Kind, format);
        QFETCH(Change, both);
        QFETCH(Change, second);
        QFETCH(int, lines);
        Session session;
        QBuffer sink;
        sink.open(QIODevice::WriteOnly);
        const auto record_format = Record_format::make(format);
        Recorder recorder(session, *record_format, sink, Recorder::Policy::changes);
        S status = healthy_unit();
        both(status);
        session.receive(frame_of(status));
        second(status);
        session.receive(frame_of(status));
        QCOMPARE(sink.data().count("status"), lines);
    }
};

QTEST_GUILESS_MAIN(Record_changes_test)
#include "tst_record_changes.moc"
