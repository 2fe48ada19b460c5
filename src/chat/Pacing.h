#pragma once
// The bot pretends to type: each reply line waits length x CharTime ms.

#include <cstddef>
#include <cstdint>

namespace tovik {

// length x charTime, computed in 64 bits and clamped to the int32 range.
std::int32_t TypingDelay(std::size_t length, int charTime);

}  // namespace tovik
