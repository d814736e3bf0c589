#include "pause.h"

#include <cerrno>
#include <ctime>

namespace ktb {

void sleepUntil(SteadyTime deadline)
{
    // steady_clock is CLOCK_MONOTONIC with libstdc++ on Linux.
    const auto sinceEpoch = deadline.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    const auto nanoseconds =
        std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch - seconds);
    const timespec until{static_cast<time_t>(seconds.count()),
                         static_cast<long>(nanoseconds.count())};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

} // namespace ktb
