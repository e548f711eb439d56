#include "session/reconnect_backoff.h"

#include <algorithm>

Reconnect_backoff::Reconnect_backoff(int first_ms, int max_ms, uint32_t seed)
    : first_ms(std::max(1, first_ms)), max_ms(std::max(this->first_ms, max_ms)),
      bound_ms(this->first_ms), random(seed)
{
}

int Reconnect_backoff::next_ms()
{
    const int bound = bound_ms;
    bound_ms = bound > max_ms / 2 ? max_ms : bound * 2;
    std::uniform_int_distribution<int> within(bound - bound / 4, bound);
    return within(random);
}
