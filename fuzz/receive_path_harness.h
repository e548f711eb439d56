#ifndef VELMAR_FUZZ_RECEIVE_PATH_HARNESS_H
#define VELMAR_FUZZ_RECEIVE_PATH_HARNESS_H

#include <QtCore/QByteArray>

#include <cstddef>
#include <cstdint>
#include <memory>

class MainWindow;
class Main_window_probe;

// Drives the tool's whole receive path (frame receiver, decoder and the
// window's redraw) with an arbitrary byte stream cut into arbitrary chunks,
// exactly as the serial channel would hand them over. Shared by the fuzzer
// and the test that replays its corpus, so both run the same code.
//
// Input layout: byte 0 holds, in its low three bits, how many plan bytes
// follow (0 to 7). Each plan byte gives the next chunk's length, 1 to 128, in
// its low seven bits, and in bit 7 whether the link watchdog ticks after that
// chunk. The plan repeats until the stream is used up. Without a plan the
// whole stream is one chunk.
//
// Needs a QApplication. The window never opens a port: the harness points
// the settings store at a directory of its own and saves "no port" there
// before the window reads it.
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

    // Runs one input. Aborts when the window breaks one of its own rules, so
    // that the fuzzer reports it like a crash.
    void run(const uint8_t *data, std::size_t size);
    void run(const QByteArray &input);

    // Payloads handed to the decoder by the last run.
    int decoded_frames() const { return decoded; }

    MainWindow &window() { return *main_window; }
    Main_window_probe &probe() { return *window_probe; }

private:
    void isolate_settings();
    void start_from_idle_receiver();
    void feed(const QByteArray &chunk);
    void check_invariants() const;

    std::unique_ptr<MainWindow> main_window;
    std::unique_ptr<Main_window_probe> window_probe;
    int decoded = 0;
};

#endif
