// Recognising a bouncer's playback by the server-time stamp.

#include "bot/session/ServerTime.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

using namespace std::chrono;

TEST(ServerTime, OldStampsArePlaybackAndUnreadableOnesAreNot) {
    // 2026-12-09T03:18:34Z
    const SystemTime stamp = sys_days(year(2026) / December / 9) + 3h + 18min + 34s;
    struct Case {
        std::optional<std::string_view> tag;
        milliseconds arrivedAfter;
        bool playback;
    };
    for (const Case& c : std::vector<Case>{
             {"2026-12-09T03:18:34.000Z", 120000ms, false}, {"2026-12-09T03:18:34.000Z", 120001ms, true},
             {"2026-12-09T03:18:34Z", 120001ms, true}, {"2026-12-09T03:18:33.9999Z", 120000ms, true}, {"2026-12-09T03:18:33.9999Z", 120001ms - 1s, false},
             {"2026-12-09T03:18:34.000Z", -5s, false} /* the clocks differ */, {"2026-12-09T03:15:60Z", 0ms, true},
             {std::nullopt, 10h, false}, {"2026-12-09 03:18:34Z", 10h, false}, {"2026-02-30T03:18:34Z", 10h, false},
             {"2026-12-09T24:00:00Z", 10h, false}, {"2026-12-09T03:18:34.Z", 10h, false},
             {"2026-12-09T03:18:34.000", 10h, false}, {"1", 10h, false}}) {
        EXPECT_EQ(IsPlayback(c.tag, stamp + c.arrivedAfter), c.playback) << c.tag.value_or("(none)");
    }
}

}  // namespace
}  // namespace tovik
