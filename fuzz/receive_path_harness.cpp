#include "fuzz/receive_path_harness.h"

#include "app/mainwindow.h"
#include "link/frame.h"
#include "support/main_window_probe.h"
#include "support/test_settings.h"

#include <QtCore/QString>

#include <cstdio>
#include <cstdlib>

namespace {

// Zero bytes end whatever frame the receiver is inside (at most the longest
// payload, then two CRC bytes) and never start a new one.
const QByteArray receiver_flush(static_cast<int>(frame::max_frame), '\0');
const QByteArray drop_held_sync_byte(1, '\0');

[[noreturn]] void broken_rule(const char *what)
{
    // Straight to stderr: the fuzzer silences the toolkit's message stream.
    std::fprintf(stderr, "receive path broke a rule: %s\n", what);
    std::abort();
}

} // namespace

Receive_path_harness::Receive_path_harness()
{
    isolate_settings();
    main_window = std::make_unique<MainWindow>();
    window_probe = std::make_unique<Main_window_probe>(*main_window);
    QObject::connect(main_window.get(), &MainWindow::parcing_data_ready, main_window.get(),
                     [this](uint8_t *) { ++decoded; });
}

Receive_path_harness::~Receive_path_harness() = default;

void Receive_path_harness::isolate_settings()
{
    ::isolate_settings();
    clear_saved_settings();
    select_no_port();
}

void Receive_path_harness::run(const QByteArray &input)
{
    run(reinterpret_cast<const uint8_t *>(input.constData()),
        static_cast<std::size_t>(input.size()));
}

void Receive_path_harness::run(const uint8_t *data, std::size_t size)
{
    start_from_idle_receiver();
    decoded = 0;
    if (size == 0)
        return;

    const std::size_t plan_length = data[0] & plan_length_mask;
    const uint8_t *plan = data + 1;
    std::size_t position = 1 + plan_length;
    if (position > size) {
        feed(QByteArray(reinterpret_cast<const char *>(data), static_cast<int>(size)));
        return;
    }
    if (plan_length == 0) {
        feed(QByteArray(reinterpret_cast<const char *>(data + position),
                        static_cast<int>(size - position)));
        return;
    }
    for (std::size_t step = 0; position < size; ++step) {
        const uint8_t entry = plan[step % plan_length];
        const std::size_t wanted = static_cast<std::size_t>(entry & chunk_length_mask) + 1;
        const std::size_t length = wanted < size - position ? wanted : size - position;
        feed(QByteArray(reinterpret_cast<const char *>(data + position), static_cast<int>(length)));
        position += length;
        if (entry & tick_after_chunk) {
            window_probe->tick();
            if (window_probe->rx_byte_count() != 0)
                broken_rule("the watchdog tick left the activity count set");
        }
    }
}

void Receive_path_harness::start_from_idle_receiver()
{
    // Every input starts from a receiver waiting for a sync pair, so that a
    // finding replays from its own file alone.
    if (window_probe->receiver().state() != Frame_receiver::wait_sync)
        feed(receiver_flush);
    else
        feed(drop_held_sync_byte);
    if (window_probe->receiver().state() != Frame_receiver::wait_sync)
        broken_rule("the receiver did not return to waiting for a sync pair");
}

void Receive_path_harness::feed(const QByteArray &chunk)
{
    window_probe->feed(chunk);
    check_invariants();
}

void Receive_path_harness::check_invariants() const
{
    if (window_probe->rx_byte_count() < 0)
        broken_rule("the activity count went negative");
    if (window_probe->receiver().state() > Frame_receiver::wait_crc)
        broken_rule("the receiver is in no known state");
}
