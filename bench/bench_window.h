#ifndef VELMAR_BENCH_BENCH_WINDOW_H
#define VELMAR_BENCH_BENCH_WINDOW_H

#include "app/start_port.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <memory>

class MainWindow;
class Session;

// A session and the tool's real window on it, shown on the offscreen
// platform, for the benchmarks. The settings store is pointed at a temporary
// directory first, holding "no port", so nothing touches the user's settings
// and no port is opened unless one is given to start with. Needs a
// QApplication.
class Bench_window
{
public:
    explicit Bench_window(const Start_port &start_port = {});
    ~Bench_window();
    Bench_window(const Bench_window &) = delete;
    Bench_window &operator=(const Bench_window &) = delete;

    Session &session() { return *link; }
    // The text of one of the window's labels, by object name.
    QString label_text(const QString &name) const;

    // As if the serial channel had read this chunk.
    void feed(const QByteArray &chunk);
    // Zero bytes end any frame the receiver is inside and never start one.
    void resync();
    // Runs everything a draw posted: layout requests and painting.
    static void settle();

    // Sets the offscreen platform unless the caller chose one.
    static void use_offscreen_platform();

private:
    std::unique_ptr<Session> link;
    std::unique_ptr<MainWindow> main_window;
};

#endif
