#pragma once
// A wait that keeps the program's events flowing.

#include <cstdint>

namespace tovik {

// Returns after at least ms milliseconds on a monotonic clock, processing
// pending events at least once (also for 0 or negative ms). Between events it
// sleeps in the event loop instead of spinning.
void WaitWithEvents(std::int32_t ms);

}  // namespace tovik
