// Recognising a bouncer's playback by the server-time stamp.

#include "bot/session/ServerTime.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "irc/Message.h"

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

// The server's stamps are read by the server's clock, learned from its
// stamped PONG; a skewed clock is no playback, history batches are.
TEST(ServerClock, LearnsTheServersClockAndKnowsHistoryBatches) {
    const SystemTime now = sys_days(year(2026) / December / 9) + 3h;
    const auto stamp = [](SystemTime t) {
        const auto day = floor<days>(t);
        const year_month_day date{day};
        const hh_mm_ss time{floor<seconds>(t - day)};
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ", int(date.year()), unsigned(date.month()),
                      unsigned(date.day()), long(time.hours().count()), long(time.minutes().count()),
                      long(time.seconds().count()));
        return std::string(text);
    };
    ServerClock clock;
    const auto playback = [&](const std::string& line, bool stamps = true) {
        return clock.IsPlayback(ParseMessage(line), now, stamps);
    };
    const std::string behind = "@time=" + stamp(now - 10min) + " :anna!a@h PRIVMSG bot :hi";
    EXPECT_TRUE(playback(behind));  // until the server's clock is known, ours serves
    clock.Follow(ParseMessage("@time=" + stamp(now - 10min) + " :srv PONG srv :srv"), now, true);
    EXPECT_FALSE(playback(behind));
    EXPECT_TRUE(playback("@time=" + stamp(now - 13min) + " :anna!a@h PRIVMSG bot :hi"));
    EXPECT_FALSE(playback("@time=" + stamp(now - 13min) + " :anna!a@h PRIVMSG bot :hi", false));
    for (const char* line : {"BATCH +h1 chathistory #c", "BATCH +n1 netsplit a b", "@batch=h1 BATCH +x1 other",
                             "BATCH +z1 znc.in/playback #c"})
        clock.Follow(ParseMessage(line), now, true);
    std::string seen;
    for (const char* ref : {"h1", "n1", "x1", "z1", "unknown"})
        seen += playback("@batch=" + std::string(ref) + " :a!a@h PRIVMSG bot :hi") ? "P" : "-";
    clock.Follow(ParseMessage("BATCH -n1"), now, true);
    seen += playback("@batch=n1 :a!a@h PRIVMSG bot :hi") ? "P" : "-";
    EXPECT_EQ(seen, "P-PPPP");
}

}  // namespace
}  // namespace tovik
