// How long the bot waits before it goes online again.

#include "bot/link/Reconnect.h"

#include <gtest/gtest.h>

namespace tovik {

TEST(ReconnectTest, DoublesFromFifteenSecondsToFiveMinutesSpreadByAFifth) {
    // failures, jitter, seconds
    for (const auto& [failures, jitter, s] : {std::tuple{0, 0.0, 15.0}, {1, 0.0, 30.0}, {4, 0.0, 240.0},
                                              {5, 0.0, 300.0}, {50, 0.0, 300.0}, {0, -1.0, 12.0}, {5, 1.0, 360.0},
                                              {5, -0.5, 270.0}, {1, 7.0, 36.0}, {1, -7.0, 24.0}})
        EXPECT_EQ(ReconnectDelay(failures, jitter).count(), s * 1000) << failures << " " << jitter;
}

// After a registered connection: 1 to 3 s, whatever the jitter says.
TEST(ReconnectTest, TheQuickAttemptComesWithinAFewSeconds) {
    for (const auto& [jitter, ms] : {std::pair{0.0, 2000}, {-1.0, 1000}, {1.0, 3000}, {0.5, 2500}, {-9.0, 1000}})
        EXPECT_EQ(QuickReconnectDelay(jitter).count(), ms) << jitter;
}

}  // namespace tovik
