// How long the bot waits before it goes online again.

#include "bot/Reconnect.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

TEST(ReconnectTest, DoublesFromFifteenSecondsToFiveMinutesSpreadByAFifth) {
    struct Row { int failures; double jitter; long long ms; };
    for (const Row row : {Row{0, 0.0, 15'000}, Row{1, 0.0, 30'000}, Row{2, 0.0, 60'000}, Row{4, 0.0, 240'000},
                          Row{5, 0.0, 300'000}, Row{50, 0.0, 300'000}, Row{0, -1.0, 12'000}, Row{0, 1.0, 18'000},
                          Row{5, 1.0, 360'000}, Row{5, -0.5, 270'000}, Row{1, 7.0, 36'000}, Row{1, -7.0, 24'000}})
        EXPECT_EQ(ReconnectDelay(row.failures, row.jitter).count(), row.ms) << row.failures << " " << row.jitter;
}

}  // namespace
}  // namespace tovik
