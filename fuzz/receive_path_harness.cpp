#include "fuzz/receive_path_harness.h"

#include "protocol/status_decoder.h"
#include "protocol/status_encoder.h"
#include "protocol/status_layout.h"
#include "session/session.h"

#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void broken_rule(const char *what)
{
    // Straight to stderr: the fuzzer silences the toolkit's message stream.
    std::fprintf(stderr, "receive path broke a rule: %s\n", what);
    std::abort();
}

void require(bool holds, const char *what)
{
    if (!holds)
        broken_rule(what);
}

// The simulated unit speaks through the encoder: whatever the session
// reported must come back unchanged when the encoder's payload for it is
// decoded again, and the payload must be as long as the one it came from.
void require_encoder_agrees(const Unit_status &reported, std::size_t received_length)
{
    const QByteArray payload = Status_encoder::payload(reported, {});
    require(static_cast<std::size_t>(payload.size()) == received_length,
            "the encoder lays the status out at another length");
    Unit_status decoded = reported;
    const auto outcome = Status_decoder::decode(reinterpret_cast<const uint8_t *>(payload.data()),
                                                received_length, decoded);
    require(outcome.decoded && decoded == reported,
            "the status does not survive the encoder and the decoder");
}

} // namespace

Receive_path_harness::Receive_path_harness() = default;

Receive_path_harness::~Receive_path_harness() = default;

void Receive_path_harness::run(const QByteArray &input)
{
    run(reinterpret_cast<const uint8_t *>(input.constData()),
        static_cast<std::size_t>(input.size()));
}

void Receive_path_harness::run(const uint8_t *data, std::size_t size)
{
    start_session();
    if (size == 0)
        return;
    const auto chunk = [data](std::size_t from, std::size_t length) {
        return QByteArray::fromRawData(reinterpret_cast<const char *>(data + from),
                                       static_cast<int>(length));
    };
    const std::size_t plan_length = data[0] & plan_length_mask;
    const uint8_t *plan = data + 1;
    std::size_t position = 1 + plan_length;
    if (position > size) {
        feed(chunk(0, size));
        return;
    }
    if (plan_length == 0) {
        feed(chunk(position, size - position));
        return;
    }
    for (std::size_t step = 0; position < size; ++step) {
        const uint8_t entry = plan[step % plan_length];
        const std::size_t wanted = static_cast<std::size_t>(entry & chunk_length_mask) + 1;
        const std::size_t length = wanted < size - position ? wanted : size - position;
        feed(chunk(position, length));
        position += length;
        if (entry & tick_after_chunk)
            tick();
    }
}

void Receive_path_harness::start_session()
{
    session = std::make_unique<Session>();
    shadow.emplace();
    reported_statuses.clear();
    frames_since_tick = false;
    last_frame_good = false;
    decoded_since_open = false;
    last_version = 0;
    verdict = {};
    last_status = {};

    const auto record = [this](Report kind) {
        return [this, kind] { reports.append({kind, {}, {}}); };
    };
    Session *s = session.get();
    QObject::connect(s, &Session::status_received, s, [this](const Unit_status &status) {
        reports.append({Report::status, status, {}});
    });
    QObject::connect(s, &Session::short_message, s, record(Report::short_message));
    QObject::connect(s, &Session::crc_mismatch, s, record(Report::crc_mismatch));
    QObject::connect(s, &Session::acknowledged, s, record(Report::acknowledged));
    QObject::connect(s, &Session::link_changed, s, [this](Link_watchdog::Verdict changed) {
        reports.append({Report::link_changed, {}, changed});
    });
    QObject::connect(s, &Session::connection_announced, s, [this](const Unit_status &status) {
        reports.append({Report::connection, status, {}});
    });
}

void Receive_path_harness::feed(const QByteArray &chunk)
{
    reports.clear();
    checked = 0;
    session->receive(chunk);
    for (const char byte : chunk) {
        switch (shadow->push(static_cast<uint8_t>(byte))) {
        case Frame_receiver::Event::crc_good:
            expect_good_frame(shadow->payload(), shadow->completed_length());
            break;
        case Frame_receiver::Event::crc_bad:
            expect(Report::crc_mismatch);
            frames_since_tick = true;
            last_frame_good = false;
            last_version = shadow->payload()[status::version_offset];
            break;
        case Frame_receiver::Event::dropped:
        case Frame_receiver::Event::none:
            break;
        }
    }
    require(checked == reports.size(), "the session reported a frame that was not there");
}

void Receive_path_harness::expect_good_frame(const uint8_t *payload, std::size_t length)
{
    frames_since_tick = true;
    last_frame_good = true;
    last_version = payload[status::version_offset];
    // An acknowledgement counts even in a message too short to decode.
    if (length > status::link_offset && status::bit(payload[status::link_offset], status::ack_bit))
        expect(Report::acknowledged);
    if (!status::payload_is_complete(payload, length)) {
        expect(Report::short_message);
        return;
    }
    decoded_since_open = true;
    const Unit_status &reported = expect(Report::status).status;
    require(reported.version == last_version, "a status carries another version than its frame");
    for (int cage = 0; cage < Unit_status::cage_count; ++cage) {
        const uint8_t type = status::cage_type(payload[status::cage_types_offset], cage);
        require(reported.cages[cage].type == static_cast<Unit_status::Cage_type>(type),
                "a status carries other cage types than its frame");
    }
    require_encoder_agrees(reported, status::expected_payload_size(payload));
    last_status = reported;
    reported_statuses.append(reported);
}

void Receive_path_harness::tick()
{
    reports.clear();
    checked = 0;
    session->check_link();

    Link_watchdog::Verdict judged;
    judged.state = Link_watchdog::State::silent;
    if (frames_since_tick) {
        // The last frame's version counts, whether it was good, short or bad.
        judged.takes_threshold = last_version >= Protocol_version::v2_0;
        // A connection needs a status decoded since the port opened.
        judged.state = judged.takes_threshold && last_frame_good && decoded_since_open
                           ? Link_watchdog::State::connected
                           : Link_watchdog::State::receiving;
    }
    frames_since_tick = false;
    const bool was_connected = verdict.state == Link_watchdog::State::connected;
    // When a state began is the session's clock's business, not the frames'.
    const auto same = [](const Link_watchdog::Verdict &a, const Link_watchdog::Verdict &b) {
        return a.state == b.state && a.takes_threshold == b.takes_threshold;
    };
    if (!same(judged, verdict)) {
        require(same(expect(Report::link_changed).verdict, judged),
                "the watchdog judged the link otherwise than its frames say");
        verdict = judged;
    }
    if (judged.state == Link_watchdog::State::connected && !was_connected) {
        require(expect(Report::connection).status == last_status,
                "a connection was announced with another status than the last one reported");
    }
    require(checked == reports.size(), "the watchdog reported what the link does not show");
}

const Receive_path_harness::Reported &Receive_path_harness::expect(Report kind)
{
    require(checked < reports.size(), "the session left out a frame or a change of the link");
    const Reported &next = reports[checked++];
    require(next.kind == kind, "the session reported something else, or in another order");
    return next;
}
