#ifndef VELMAR_BENCH_BENCH_WINDOW_H
#define VELMAR_BENCH_BENCH_WINDOW_H

#include <QtCore/QByteArray>

#include <memory>

class MainWindow;
class Main_window_probe;

// The tool's real window, shown on the offscreen platform, for the
// benchmarks. The settings store is pointed at a temporary directory first,
// holding "no port", so nothing touches the user's settings and no port is
// opened until a benchmark selects one. Needs a QApplication.
class Bench_window
{
public:
    Bench_window();
    ~Bench_window();
    Bench_window(const Bench_window &) = delete;
    Bench_window &operator=(const Bench_window &) = delete;

    MainWindow &window() { return *main_window; }
    Main_window_probe &probe() { return *window_probe; }

    // The receiver slot, as if the serial channel had read this chunk.
    void feed(const QByteArray &chunk);
    // Zero bytes end any frame the receiver is inside and never start one.
    void resync();
    // Runs what the redraw posted: layout requests and painting.
    static void settle();

    // Sets the offscreen platform unless the caller chose one.
    static void use_offscreen_platform();

private:
    void isolate_settings();

    std::unique_ptr<MainWindow> main_window;
    std::unique_ptr<Main_window_probe> window_probe;
};

#endif
