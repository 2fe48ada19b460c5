#include "chat/Pacing.h"

#include <algorithm>
#include <limits>

namespace tovik {

std::int32_t TypingDelay(std::size_t length, int charTime) {
    // A long line times a large CharTime does not fit 32 bits; the product is
    // formed in 64 bits and clamped, so a huge setting means "wait very long"
    // instead of wrapping into a negative "no wait".
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    // Below 2^32 characters times at most 2^31 ms the product cannot overflow 64 bits.
    const auto len = static_cast<std::int64_t>(std::min<std::size_t>(length, 0xFFFFFFFFu));
    const std::int64_t product = len * static_cast<std::int64_t>(charTime);
    return static_cast<std::int32_t>(std::clamp(product, kMin, kMax));
}

}  // namespace tovik
