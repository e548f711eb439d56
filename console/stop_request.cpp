#include "console/stop_request.h"

#include <atomic>

namespace {

// Lock-free, so that a handler may set it whatever the thread it runs on
// was doing, and the thread that writes sees it.
std::atomic<int> asked{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

} // namespace

void Stop_request::note(int signal_number) noexcept
{
    // The first signal decides how the program ends.
    int none = 0;
    asked.compare_exchange_strong(none, signal_number);
}

int Stop_request::signal_number() noexcept
{
    return asked.load();
}
