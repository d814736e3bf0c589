#pragma once

#include <chrono>

namespace ktb {

using SteadyTime = std::chrono::steady_clock::time_point;

// Blocks the calling thread until the deadline, handling no events meanwhile.
// Sleeping to an absolute deadline keeps each pause from drifting the way a
// chain of relative sleeps does under load.
void sleepUntil(SteadyTime deadline);

} // namespace ktb
