#pragma once
// How long the bot waits before it goes online again by itself: about 15 s
// after the first loss, doubling up to 5 minutes, each wait spread by up to
// 20 % either way so that many bots cut off together do not come back in
// step. A welcome by the server starts the series over.
//
// A connection that had registered and then ended (the server restarted,
// a network hiccup) is tried again within a few seconds first: a policy of
// the server's may last only seconds beyond the connection, and the
// partners are waiting. Only one such quick attempt per minute, so that a
// server that throws the bot out right after the welcome sees the series.

#include <algorithm>
#include <chrono>

namespace tovik {

inline constexpr std::chrono::milliseconds kFirstReconnectDelay{15'000};
inline constexpr std::chrono::milliseconds kLastReconnectDelay{300'000};
inline constexpr std::chrono::milliseconds kQuickReconnectDelay{2'000};
inline constexpr std::chrono::seconds kQuickReconnectSpacing{60};

// `failures` attempts have failed since the last welcome; `jitter` lies in
// [-1, 1] and scales the 20 % spread.
inline std::chrono::milliseconds ReconnectDelay(int failures, double jitter) {
    auto delay = kFirstReconnectDelay;
    for (int k = 0; k < failures && delay < kLastReconnectDelay; ++k) delay *= 2;
    delay = std::min(delay, kLastReconnectDelay);
    const double spread = 1.0 + 0.2 * std::clamp(jitter, -1.0, 1.0);
    return std::chrono::milliseconds(static_cast<long long>(static_cast<double>(delay.count()) * spread));
}

// The quick attempt after a registered connection: 1 to 3 s, by `jitter` in
// [-1, 1].
inline std::chrono::milliseconds QuickReconnectDelay(double jitter) {
    const double spread = 1.0 + 0.5 * std::clamp(jitter, -1.0, 1.0);
    const double ms = static_cast<double>(kQuickReconnectDelay.count()) * spread;
    return std::chrono::milliseconds(static_cast<long long>(ms));
}

}  // namespace tovik
