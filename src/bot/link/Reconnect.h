#pragma once
// How long the bot waits before it goes online again by itself: about 15 s
// after the first loss, doubling up to 5 minutes, each wait spread by up to
// 20 % either way so that many bots cut off together do not come back in
// step. A welcome by the server starts the series over.

#include <algorithm>
#include <chrono>

namespace tovik {

inline constexpr std::chrono::milliseconds kFirstReconnectDelay{15'000};
inline constexpr std::chrono::milliseconds kLastReconnectDelay{300'000};

// `failures` attempts have failed since the last welcome; `jitter` lies in
// [-1, 1] and scales the 20 % spread.
inline std::chrono::milliseconds ReconnectDelay(int failures, double jitter) {
    auto delay = kFirstReconnectDelay;
    for (int k = 0; k < failures && delay < kLastReconnectDelay; ++k) delay *= 2;
    delay = std::min(delay, kLastReconnectDelay);
    const double spread = 1.0 + 0.2 * std::clamp(jitter, -1.0, 1.0);
    return std::chrono::milliseconds(static_cast<long long>(static_cast<double>(delay.count()) * spread));
}

}  // namespace tovik
