// When "is typing" notices go to a partner, and when they stop.

#include "bot/answering/Typing.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

using namespace std::chrono_literals;

TEST(TypingNotices, RepeatEveryFourSecondsNeverWithinThreeAndStopWithTheLine) {
    TypingNotices typing;
    const auto t0 = TypingNotices::TimePoint{} + 1h;
    auto take = [&](std::chrono::milliseconds at) {
        std::string out;
        for (const auto& notice : typing.TakeDue(t0 + at)) out += notice.partner + ": " + notice.line;
        return out;
    };
    typing.Started(t0, "anna");
    EXPECT_EQ(take(0ms), "");  // not allowed: no message-tags
    typing.SetAllowed(true);
    typing.Started(t0, "anna");
    EXPECT_EQ(take(0ms), "anna: @+typing=active TAGMSG anna\n");
    EXPECT_EQ(typing.NextWake(), t0 + 4s);
    EXPECT_EQ(take(3999ms), "");
    EXPECT_EQ(take(4s), "anna: @+typing=active TAGMSG anna\n");
    typing.Sent("anna");
    EXPECT_EQ(typing.NextWake(), std::nullopt);
    typing.Started(t0 + 5s, "anna");  // the next line: its sign waits for the 3 s gap
    typing.Started(t0 + 5s, "bert");
    EXPECT_EQ(take(5s), "bert: @+typing=active TAGMSG bert\n");
    EXPECT_EQ(typing.NextWake(), t0 + 7s);
    EXPECT_EQ(take(7s), "anna: @+typing=active TAGMSG anna\n");
    typing.Forget("bert");  // a partner who left, or Offline, hears nothing more
    EXPECT_EQ(take(9s), "");
    typing.SetAllowed(false);
    EXPECT_EQ(take(20s), "");
    EXPECT_EQ(typing.NextWake(), std::nullopt);
}

}  // namespace
}  // namespace tovik
