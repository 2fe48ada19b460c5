#include "bot/ReplyScheduler.h"

#include <gtest/gtest.h>

#include <map>

namespace tovik {
namespace {

using namespace std::chrono_literals;
using Events = std::vector<std::string>;

// A scheduler on a hand-driven clock. Each message's reply is looked up in
// `replies` by its text; every begin and every sent line is recorded with
// the time (ms) at which it happened.
struct Harness {
    ReplyScheduler::TimePoint now{};
    std::map<std::string, std::vector<std::string>> replies;
    Events events;
    std::function<void(const PrivateMessage&)> onBegin;
    ReplyScheduler scheduler;

    explicit Harness(std::size_t maxMessages = ReplyScheduler::kMaxPendingMessages,
                     std::size_t maxBytes = ReplyScheduler::kMaxPendingBytes)
        : scheduler(
              {[this](const PrivateMessage& m) {
                   events.push_back(At() + " <" + m.sender + ": " + m.text);
                   if (onBegin) onBegin(m);
                   return replies[m.text];
               },
               [this](const PrivateMessage& m, const std::string& line) {
                   events.push_back(At() + " >" + m.sender + ": " + line);
               },
               [this] { return now; }},
              maxMessages, maxBytes) {}

    std::string At() const {
        return std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count());
    }
    void Read(std::initializer_list<std::pair<std::string, std::string>> messages, int charTime = 10) {
        scheduler.BeginRead();
        for (const auto& [sender, text] : messages)
            EXPECT_TRUE(scheduler.Add(PrivateMessage{sender, text, "#c", charTime}));
        scheduler.EndRead();
    }
    // Runs the scheduler like the runtime's timer would, until `until`.
    void RunUntil(ReplyScheduler::TimePoint until) {
        for (;;) {
            const auto next = scheduler.Run();
            if (!next || *next > until) break;
            now = std::max(now, *next);
        }
        now = until;
    }
    void RunToEnd() {
        while (const auto next = scheduler.Run()) now = std::max(now, *next);
    }
};

ReplyScheduler::TimePoint At(int ms) { return ReplyScheduler::TimePoint{} + std::chrono::milliseconds(ms); }

TEST(ReplySchedulerTest, EachLineWaitsItsOwnTypingTime) {
    Harness h;
    h.replies["x"] = {"a", "bc"};
    h.Read({{"bob", "x"}}, 500);
    h.RunToEnd();
    // |a|bc at 500 ms per character: 500 ms, then another 1000 ms.
    EXPECT_EQ(h.events, (Events{"0 <bob: x", "500 >bob: a", "1500 >bob: bc"}));
    EXPECT_EQ(h.scheduler.PendingMessages(), 0u);
    EXPECT_EQ(h.scheduler.Depth(), 0u);
}

TEST(ReplySchedulerTest, NothingIsSentBeforeItsTime) {
    Harness h;
    h.replies["x"] = {"abcd"};
    h.Read({{"bob", "x"}});
    h.RunUntil(At(39));
    EXPECT_EQ(h.events, (Events{"0 <bob: x"}));
    h.RunUntil(At(40));
    EXPECT_EQ(h.events, (Events{"0 <bob: x", "40 >bob: abcd"}));
}

TEST(ReplySchedulerTest, MessagesOfOneReadAreAnsweredInOrder) {
    Harness h;
    h.replies["1"] = {"aa", "b"};
    h.replies["2"] = {"ccc"};
    h.Read({{"ann", "1"}, {"ben", "2"}});
    h.RunToEnd();
    EXPECT_EQ(h.events, (Events{"0 <ann: 1", "20 >ann: aa", "30 >ann: b", "30 <ben: 2", "60 >ben: ccc"}));
}

TEST(ReplySchedulerTest, ALaterReadIsAnsweredCompletelyFirst) {
    Harness h;
    h.replies["first"] = {"aaaaa", "bb"};
    h.replies["second"] = {"xxxxxxxxxx", "y"};
    h.Read({{"ann", "first"}});
    h.RunUntil(At(20));  // ann's first line is due at 50
    h.Read({{"ben", "second"}});
    h.RunToEnd();
    // ben: begun at 20, lines at 120 and 130; ann's wait ended long ago, so
    // her line goes out at once, and her next one 20 ms later.
    EXPECT_EQ(h.events, (Events{"0 <ann: first", "20 <ben: second", "120 >ben: xxxxxxxxxx", "130 >ben: y",
                                "130 >ann: aaaaa", "150 >ann: bb"}));
}

TEST(ReplySchedulerTest, TheEarlierWaitEndsOnlyWhenItsOwnTimeIsUp) {
    Harness h;
    h.replies["long"] = {std::string(10, 'l')};
    h.replies["short"] = {"s"};
    h.Read({{"ann", "long"}});
    h.RunUntil(At(10));
    h.Read({{"ben", "short"}});
    h.RunToEnd();
    EXPECT_EQ(h.events, (Events{"0 <ann: long", "10 <ben: short", "20 >ben: s", "100 >ann: llllllllll"}));
}

TEST(ReplySchedulerTest, NestingGoesAsDeepAsReadsArrive) {
    Harness h;
    h.replies["a"] = {"aaaaaaaaaa"};
    h.replies["b"] = {"bbbbbbbbbb"};
    h.replies["c"] = {"cc"};
    h.Read({{"ann", "a"}});
    h.RunUntil(At(5));
    h.Read({{"ben", "b"}});
    h.RunUntil(At(10));
    h.Read({{"cid", "c"}});
    EXPECT_EQ(h.scheduler.Depth(), 3u);
    h.RunToEnd();
    EXPECT_EQ(h.events, (Events{"0 <ann: a", "5 <ben: b", "10 <cid: c", "30 >cid: cc", "105 >ben: bbbbbbbbbb",
                                "105 >ann: aaaaaaaaaa"}));
}

TEST(ReplySchedulerTest, QueuedMessagesOfAnOuterReadWaitForTheInnerRead) {
    Harness h;
    h.replies["a1"] = {"aa"};
    h.replies["a2"] = {"a"};
    h.replies["b"] = {"b"};
    h.Read({{"ann", "a1"}, {"ann", "a2"}});
    h.RunUntil(At(5));
    h.Read({{"ben", "b"}});
    h.RunToEnd();
    EXPECT_EQ(h.events, (Events{"0 <ann: a1", "5 <ben: b", "15 >ben: b", "20 >ann: aa", "20 <ann: a2",
                                "30 >ann: a"}));
}

TEST(ReplySchedulerTest, AMessageWithoutReplyLinesIsDoneAtOnce) {
    Harness h;  // no replies registered: begin returns no lines (denied, failed)
    h.replies["y"] = {"y"};
    h.Read({{"ann", "denied"}, {"ben", "y"}});
    h.RunToEnd();
    EXPECT_EQ(h.events, (Events{"0 <ann: denied", "0 <ben: y", "10 >ben: y"}));
    EXPECT_EQ(h.scheduler.PendingMessages(), 0u);
}

TEST(ReplySchedulerTest, ZeroOrNegativeCharTimeSendsAtOnce) {
    for (int charTime : {0, -5}) {
        Harness h;
        h.replies["x"] = {"abc", "de"};
        h.Read({{"bob", "x"}}, charTime);
        ASSERT_FALSE(h.scheduler.Run().has_value());
        EXPECT_EQ(h.events, (Events{"0 <bob: x", "0 >bob: abc", "0 >bob: de"}));
    }
}

TEST(ReplySchedulerTest, ALineBudgetHandsControlBackWithoutLosingOrder) {
    Harness h;
    h.replies["x"] = {"1", "2", "3", "4", "5"};
    h.Read({{"bob", "x"}}, 0);
    const auto next = h.scheduler.Run(2);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(*next, h.now);
    EXPECT_EQ(h.events.size(), 3u);
    while (h.scheduler.Run(2)) {
    }
    EXPECT_EQ(h.events, (Events{"0 <bob: x", "0 >bob: 1", "0 >bob: 2", "0 >bob: 3", "0 >bob: 4", "0 >bob: 5"}));
}

TEST(ReplySchedulerTest, AnEmptyReadPushesNoFrame) {
    Harness h;
    h.scheduler.BeginRead();
    h.scheduler.EndRead();
    EXPECT_EQ(h.scheduler.Depth(), 0u);
    EXPECT_FALSE(h.scheduler.Run().has_value());
}

TEST(ReplySchedulerTest, RefusesMessagesBeyondTheBound) {
    Harness h(3);
    h.replies["x"] = {"x"};
    h.scheduler.BeginRead();
    int accepted = 0;
    for (int i = 0; i < 5; ++i) accepted += h.scheduler.Add(PrivateMessage{"s", "x", "#c", 1});
    h.scheduler.EndRead();
    EXPECT_EQ(accepted, 3);
    EXPECT_EQ(h.scheduler.PendingMessages(), 3u);
    h.RunToEnd();
    EXPECT_EQ(h.scheduler.PendingMessages(), 0u);
    // Room again once answered.
    h.scheduler.BeginRead();
    EXPECT_TRUE(h.scheduler.Add(PrivateMessage{"s", "x", "#c", 1}));
    h.scheduler.EndRead();
}

TEST(ReplySchedulerTest, RefusesMessagesBeyondTheByteBound) {
    Harness h(100, sizeof(PrivateMessage) * 2 + 200);
    h.scheduler.BeginRead();
    EXPECT_TRUE(h.scheduler.Add(PrivateMessage{"s", std::string(50, 'a'), "#c", 1}));
    EXPECT_FALSE(h.scheduler.Add(PrivateMessage{"s", std::string(1000, 'a'), "#c", 1}));
    EXPECT_TRUE(h.scheduler.Add(PrivateMessage{"s", std::string(50, 'a'), "#c", 1}));
    h.scheduler.EndRead();
}

TEST(ReplySchedulerTest, ARefusedMessageIsLeftIntact) {
    Harness h(0);
    PrivateMessage message{"bob", "hello", "#c", 1};
    EXPECT_FALSE(h.scheduler.Add(std::move(message)));
    EXPECT_EQ(message.text, "hello");
}

TEST(ReplySchedulerTest, ARunFromInsideAHandlerLeavesTheWorkToTheOuterRun) {
    Harness h;
    h.replies["outer"] = {"o"};
    h.replies["inner"] = {"i"};
    bool nested = false;
    // A read handled inside begin (as in a modal dialog's event loop).
    h.onBegin = [&](const PrivateMessage& m) {
        if (m.text != "outer" || nested) return;
        nested = true;
        h.Read({{"ben", "inner"}});
        EXPECT_TRUE(h.scheduler.Run().has_value());  // returns at once
    };
    h.Read({{"ann", "outer"}});
    h.RunToEnd();
    EXPECT_EQ(h.events, (Events{"0 <ann: outer", "0 <ben: inner", "10 >ben: i", "10 >ann: o"}));
}

TEST(ReplySchedulerTest, AThousandNestedReadsNeedNoCallStack) {
    Harness h;
    h.replies["m"] = {"m"};
    for (int i = 0; i < 1000; ++i) {
        h.Read({{std::string("s").append(std::to_string(i)), "m"}});
        h.scheduler.Run();  // begins the new top message, its line not yet due
    }
    EXPECT_EQ(h.scheduler.Depth(), 1000u);
    h.RunToEnd();
    EXPECT_EQ(h.events.size(), 2000u);
    EXPECT_EQ(h.events[1000], "10 >s999: m");  // the newest read is answered first
    EXPECT_EQ(h.events.back(), "10 >s0: m");
}

// The connection ends while a handler runs (an error box's event loop, the
// operator clicking "Offline"): everything waiting goes, nothing half-done
// goes on, and messages read afterwards are answered normally.
TEST(ReplySchedulerDiscard, FromInsideAHandlerForgetsEverythingAndGoesOnWithNewMessages) {
    Harness h;
    h.replies = {{"a", {"ra1", "ra2"}}, {"b", {"rb"}}, {"c", {"rc"}}};
    h.Read({{"x", "a"}, {"y", "b"}});
    h.onBegin = [&](const PrivateMessage& m) {
        if (m.text == "b") h.scheduler.DiscardAll();
    };
    h.RunToEnd();
    EXPECT_EQ(h.scheduler.PendingMessages(), 0u);
    h.onBegin = nullptr;
    h.Read({{"z", "c"}});
    h.RunToEnd();
    EXPECT_EQ(h.events, (Events{"0 <x: a", "30 >x: ra1", "60 >x: ra2", "60 <y: b", "60 <z: c", "80 >z: rc"}));
    EXPECT_EQ(h.scheduler.PendingMessages(), 0u);
}

}  // namespace
}  // namespace tovik
