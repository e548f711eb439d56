#ifndef VELMAR_CONSOLE_STOP_REQUEST_H
#define VELMAR_CONSOLE_STOP_REQUEST_H

// Whether SIGINT or SIGTERM asked this process to stop. The signal handler
// notes it; whatever would otherwise wait for ever (a write to a pipe whose
// reader stopped reading) looks at it and gives up, so that the program gets
// back to its event loop and ends as the signal says. Safe to note from a
// signal handler on any thread.
class Stop_request
{
public:
    static void note(int signal_number) noexcept;
    static bool pending() noexcept { return signal_number() != 0; }
    // 0 while no stop was asked for.
    static int signal_number() noexcept;
};

#endif
