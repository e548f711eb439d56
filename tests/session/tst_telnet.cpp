#include "session/reconnect_backoff.h"
#include "session/telnet.h"
#include "session/telnet_codec.h"
#include "session/telnet_options.h"
#include "support/property.h"

#include <QtTest/QtTest>

#include <deque>

namespace {

using Commands = std::vector<Telnet_codec::Command>;

// The bytes cut into pieces at the given points, as reads may cut them.
std::vector<QByteArray> cut(const QByteArray &bytes, std::vector<int> points)
{
    std::sort(points.begin(), points.end());
    std::vector<QByteArray> pieces;
    int from = 0;
    for (const int point : points) {
        const int at = std::min<int>(bytes.size(), std::max(from, point));
        pieces.push_back(bytes.mid(from, at - from));
        from = at;
    }
    pieces.push_back(bytes.mid(from));
    return pieces;
}

QByteArray bytes_of(const std::vector<uint8_t> &values)
{
    return QByteArray(reinterpret_cast<const char *>(values.data()), int(values.size()));
}

Telnet_options client()
{
    return Telnet_options(
        {telnet::option::binary, telnet::option::suppress_go_ahead, telnet::option::com_port},
        {telnet::option::binary, telnet::option::suppress_go_ahead});
}

} // namespace

class Tst_telnet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void data_and_commands_survive_any_cuts()
    {
        QVERIFY(holds("escaped data with commands among it decodes back, however cut", [] {
            // Runs of data, each followed by a negotiation or a subnegotiation.
            const auto runs = *rc::gen::container<std::vector<std::vector<uint8_t>>>(
                rc::gen::container<std::vector<uint8_t>>(rc::gen::weightedOneOf<uint8_t>(
                    {{1, rc::gen::just(telnet::iac)}, {3, rc::gen::arbitrary<uint8_t>()}})));
            QByteArray wire;
            QByteArray data;
            Commands sent;
            for (const std::vector<uint8_t> &run : runs) {
                data += bytes_of(run);
                wire += Telnet_codec::escaped(bytes_of(run));
                const uint8_t option = *rc::gen::arbitrary<uint8_t>();
                if (*rc::gen::arbitrary<bool>()) {
                    const uint8_t verb =
                        *rc::gen::element(telnet::will, telnet::wont, telnet::do_, telnet::dont);
                    sent.push_back({verb, option, QByteArray()});
                    wire += Telnet_codec::negotiation(verb, option);
                } else {
                    const QByteArray parameters =
                        bytes_of(*rc::gen::container<std::vector<uint8_t>>(
                                     rc::gen::arbitrary<uint8_t>()))
                            .left(Telnet_codec::max_parameters);
                    sent.push_back({telnet::sb, option, parameters});
                    wire += Telnet_codec::subnegotiation(option, parameters);
                }
            }
            Telnet_codec codec;
            QByteArray got;
            Commands commands;
            for (QByteArray piece : cut(wire, *rc::gen::container<std::vector<int>>(
                                                  rc::gen::inRange(0, int(wire.size()) + 1)))) {
                codec.decode(piece, &commands);
                got += piece;
            }
            RC_ASSERT(got == data);
            RC_ASSERT(commands.size() == sent.size());
            for (std::size_t i = 0; i < sent.size(); ++i) {
                RC_ASSERT(commands[i].verb == sent[i].verb);
                RC_ASSERT(commands[i].option == sent[i].option);
                RC_ASSERT(commands[i].parameters == sent[i].parameters);
            }
        }));
    }

    void two_sides_agree_and_fall_quiet()
    {
        QVERIFY(holds("any two sides end their negotiation agreed, with nothing pending", [] {
            const std::vector<uint8_t> known{telnet::option::binary,
                                             telnet::option::echo,
                                             telnet::option::suppress_go_ahead,
                                             telnet::option::com_port,
                                             24,
                                             31};
            const auto some = rc::gen::container<std::vector<uint8_t>>(rc::gen::elementOf(known));
            Telnet_options near = client();
            Telnet_options far(*some, *some);
            // Both sides ask at once; the words cross on the way.
            std::deque<QByteArray> to_far;
            std::deque<QByteArray> to_near;
            const auto post = [](std::deque<QByteArray> &queue, const QByteArray &words) {
                for (int at = 0; at < words.size(); at += 3)
                    queue.push_back(words.mid(at, 3));
            };
            for (const uint8_t option : *some)
                post(to_far,
                     *rc::gen::arbitrary<bool>() ? near.offer(option) : near.request(option));
            for (const uint8_t option : *some)
                post(to_near,
                     *rc::gen::arbitrary<bool>() ? far.offer(option) : far.request(option));
            for (int step = 0; step < 1000 && !(to_far.empty() && to_near.empty()); ++step) {
                const bool far_next =
                    to_near.empty() || (!to_far.empty() && *rc::gen::arbitrary<bool>());
                std::deque<QByteArray> &from = far_next ? to_far : to_near;
                const QByteArray words = from.front();
                from.pop_front();
                Telnet_options &hearer = far_next ? far : near;
                post(far_next ? to_near : to_far,
                     hearer.answer(uint8_t(words[1]), uint8_t(words[2])));
            }
            RC_ASSERT(to_far.empty() && to_near.empty());
            RC_ASSERT(!near.waiting() && !far.waiting());
            for (const uint8_t option : known) {
                RC_ASSERT(near.performs(option) == far.other_performs(option));
                RC_ASSERT(near.other_performs(option) == far.performs(option));
            }
        }));
    }

    void backoff_doubles_within_its_bounds()
    {
        QVERIFY(holds("each wait is within the doubled bound, never past the longest", [] {
            const int first = *rc::gen::inRange(1, 5000);
            const int longest = first * *rc::gen::inRange(1, 64);
            Reconnect_backoff backoff(first, longest, *rc::gen::arbitrary<uint32_t>());
            const int failures = *rc::gen::inRange(1, 40);
            qint64 bound = first;
            for (int i = 0; i < failures; ++i) {
                const int wait = backoff.next_ms();
                RC_ASSERT(wait <= bound);
                RC_ASSERT(wait >= bound - bound / 4);
                bound = std::min<qint64>(bound * 2, longest);
            }
            backoff.reset();
            RC_ASSERT(backoff.next_ms() <= first);
        }));
    }
};

QTEST_GUILESS_MAIN(Tst_telnet)
#include "tst_telnet.moc"
