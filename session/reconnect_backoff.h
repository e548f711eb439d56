#ifndef VELMAR_SESSION_RECONNECT_BACKOFF_H
#define VELMAR_SESSION_RECONNECT_BACKOFF_H

#include <cstdint>
#include <random>

// How long a port that cannot be reached waits before it is tried again:
// first_ms after the first failure, twice as long after each failure after
// it, never longer than max_ms. Each wait is drawn from the upper quarter
// below its bound, so that the ports of a terminal server that went away
// together do not all knock again at the same moment.
class Reconnect_backoff
{
public:
    Reconnect_backoff(int first_ms, int max_ms, uint32_t seed);

    // The wait before the next attempt, after one more failure.
    int next_ms();
    // The port was reached: the next failure waits first_ms again.
    void reset() { bound_ms = first_ms; }

private:
    const int first_ms;
    const int max_ms;
    int bound_ms;
    std::minstd_rand random;
};

#endif
