#ifndef VELMAR_FUZZ_RECEIVE_PATH_HARNESS_H
#define VELMAR_FUZZ_RECEIVE_PATH_HARNESS_H

#include "protocol/frame_receiver.h"
#include "protocol/unit_status.h"
#include "session/link_watchdog.h"

#include <QtCore/QByteArray>
#include <QtCore/QVector>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

class Session;

// Drives a session's receive path (frame receiver, decoder, link watchdog)
// with an arbitrary byte stream cut into arbitrary chunks, exactly as the
// serial channel would hand them over, and holds what the session reports
// against a frame receiver of its own that reads the same bytes. Shared by
// the fuzzer and the test that replays its corpus, so both run the same code.
//
// Input layout: byte 0 holds, in its low three bits, how many plan bytes
// follow (0 to 7). Each plan byte gives the next chunk's length, 1 to 128, in
// its low seven bits, and in bit 7 whether the link watchdog ticks after that
// chunk. The plan repeats until the stream is used up. Without a plan the
// whole stream is one chunk.
//
// Every input gets a session of its own with no port open, so that a finding
// replays from its own file alone. Needs a QCoreApplication; the session's
// own timers never fire, as no event loop runs during an input.
class Receive_path_harness
{
public:
    static constexpr uint8_t plan_length_mask = 0x07;
    static constexpr uint8_t chunk_length_mask = 0x7F;
    static constexpr uint8_t tick_after_chunk = 0x80;

    Receive_path_harness();
    ~Receive_path_harness();
    Receive_path_harness(const Receive_path_harness &) = delete;
    Receive_path_harness &operator=(const Receive_path_harness &) = delete;

    // Runs one input. Aborts when the session breaks one of its rules, so
    // that the fuzzer reports it like a crash.
    void run(const uint8_t *data, std::size_t size);
    void run(const QByteArray &input);

    // Every status the session reported during the last run, in order.
    const QVector<Unit_status> &statuses() const { return reported_statuses; }

private:
    enum class Report : uint8_t
    {
        status,
        short_message,
        crc_mismatch,
        acknowledged,
        link_changed,
        connection,
    };

    struct Reported
    {
        Report kind;
        Unit_status status;
        Link_watchdog::Verdict verdict;
    };

    void start_session();
    void feed(const QByteArray &chunk);
    void tick();
    void expect_good_frame(const uint8_t *payload, std::size_t length);
    const Reported &expect(Report kind);

    std::unique_ptr<Session> session;
    // Reads the same bytes as the session's receiver: the frames it finds
    // are what the session must report, one for one.
    std::optional<Frame_receiver> shadow;
    QVector<Reported> reports;
    int checked = 0;
    QVector<Unit_status> reported_statuses;

    // What the link watchdog must judge at the next tick.
    bool frames_since_tick = false;
    bool last_frame_good = false;
    bool decoded_since_open = false;
    uint8_t last_version = 0;
    Link_watchdog::Verdict verdict;
    Unit_status last_status;
};

#endif
