// The paced send queue: what leaves when, and in which order; the command
// channel's reports as its feed.

#include "bot/link/SendQueue.h"

#include <gtest/gtest.h>

#include "bot/channel/ReportOutbox.h"

namespace tovik {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

const std::string kLeftOut2 = "PRIVMSG #c :\x03" "14(2 Meldungen ausgelassen, der Server nimmt nicht mehr an)\n";

class SendQueueTest : public ::testing::Test {
protected:
    void SetUp() override { queue_.SetFeed(&reports_); }

    bool open_ = true;  // the gate of channel "#c"
    SendQueue queue_{SendPace{5, 1000ms}};
    ReportOutbox reports_{[this](std::string_view channel) { return open_ && channel == "#c"; }, 3};
    const SendQueue::TimePoint t0_ = SendQueue::TimePoint{} + 1h;

    Lines Take(std::chrono::milliseconds at) {
        Lines lines;
        for (auto& departure : queue_.TakeDue(t0_ + at)) lines.push_back(departure.line);
        return lines;
    }
    void Push(const std::string& line, LineClass lineClass, std::chrono::milliseconds at = 0ms) {
        queue_.Push(t0_ + at, line, lineClass);
    }
    void Report(const std::string& line, std::chrono::milliseconds at = 0ms) {
        reports_.Add("#c", line);
        queue_.Fed(t0_ + at);
    }
};

TEST_F(SendQueueTest, FiveLinesLeaveAtOnceThenOnePerSecond) {
    for (int k = 1; k <= 8; ++k) Push("N" + std::to_string(k), LineClass::Normal);
    EXPECT_EQ(Take(0ms), (Lines{"N1", "N2", "N3", "N4", "N5"}));
    EXPECT_EQ(queue_.NextDue(t0_), t0_ + 1000ms);
    EXPECT_EQ(Take(999ms), Lines{});
    EXPECT_EQ(Take(1000ms), Lines{"N6"});
    EXPECT_EQ(Take(2500ms), Lines{"N7"});
    EXPECT_EQ(Take(3000ms), Lines{"N8"});
    EXPECT_EQ(queue_.NextDue(t0_ + 3000ms), std::nullopt);
    // A quiet spell earns the whole allowance back, and no more.
    for (int k = 1; k <= 6; ++k) Push("M" + std::to_string(k), LineClass::Normal, 60s);
    EXPECT_EQ(Take(60s).size(), 5u);
}

TEST_F(SendQueueTest, WhileTheAllowanceLastsLinesLeaveInTheOrderMade) {
    Report("report");
    Push("answer", LineClass::Normal);
    Push("pong", LineClass::Urgent);
    EXPECT_EQ(Take(0ms), (Lines{"report", "answer", "pong"}));
}

TEST_F(SendQueueTest, OnceLinesWaitTheyLeaveByClassAndUrgentOnesNeverWait) {
    for (int k = 0; k < 5; ++k) Push("burst", LineClass::Normal);
    Take(0ms);
    Report("report", 10ms);
    Push("answer", LineClass::Normal, 20ms);
    Push("PONG", LineClass::Urgent, 30ms);
    EXPECT_EQ(Take(30ms), Lines{"PONG"});
    // The PONG was counted: the next line waits one more interval.
    EXPECT_EQ(Take(1999ms), Lines{});
    EXPECT_EQ(Take(2000ms), Lines{"answer"});
    EXPECT_EQ(Take(3000ms), Lines{"report"});
}

TEST_F(SendQueueTest, PiledUpReportsMakeRoomAndAreSummedUpButAnswersStay) {
    for (int k = 0; k < 5; ++k) Push("burst", LineClass::Normal);
    Take(0ms);
    for (int k = 1; k <= 5; ++k) Report("R" + std::to_string(k));
    Push("A1", LineClass::Normal);
    Push("A2", LineClass::Normal);
    EXPECT_EQ(Take(10s), (Lines{"A1", "A2", kLeftOut2, "R3", "R4"}));
    EXPECT_EQ(Take(11s), Lines{"R5"});
}

// The gate is asked when a line said in the channel would leave: what was
// queued while the bot held the channel goes nowhere once it lost it, the
// reports' summary included, and answers are not held up by it.
TEST_F(SendQueueTest, ReportsAndTheirSummaryPassTheGateWhenTheyLeave) {
    queue_.SetGate([this](std::string_view channel) { return open_ && channel == "#c"; });
    for (int k = 0; k < 5; ++k) Push("burst", LineClass::Normal);
    Take(0ms);
    for (int k = 1; k <= 5; ++k) Report("R" + std::to_string(k));
    Push("A1", LineClass::Normal);
    queue_.Push(t0_, "echo", LineClass::Normal, {}, "#c");
    queue_.Push(t0_, "elsewhere", LineClass::Normal, {}, "#old");
    open_ = false;
    Report("R6");
    EXPECT_EQ(Take(10s), Lines{"A1"});
    EXPECT_EQ(queue_.NextDue(t0_ + 10s), std::nullopt);
    open_ = true;
    Report("R7", 20s);
    EXPECT_EQ(Take(20s), Lines{"R7"});
}

TEST_F(SendQueueTest, ClearForgetsWhatWaitsAndRestartGivesTheWholeAllowance) {
    for (int k = 0; k < 7; ++k) Push("old", LineClass::Normal);
    Take(0ms);
    queue_.Clear();
    EXPECT_EQ(queue_.NextDue(t0_), std::nullopt);
    EXPECT_EQ(Take(5s), Lines{});
    for (int k = 0; k < 5; ++k) Push("spent", LineClass::Normal, 5s);
    queue_.Restart();
    Push("new", LineClass::Normal, 5s);
    EXPECT_EQ(Take(5s), Lines{"new"});
}

// Waiting answer lines of one partner can be rewritten or given up.
TEST_F(SendQueueTest, AnAnswerKeepsItsPartnerTagAndCanBeRevisedWhileItWaits) {
    for (int k = 0; k < 5; ++k) Push("burst", LineClass::Normal);
    for (const char* nick : {"anna", "bert", "anna"}) queue_.Push(t0_, std::string("to ") + nick, LineClass::Normal, nick);
    queue_.Revise("anna", [](std::string& line) { return (line = "to anne") == "to anne"; });
    queue_.Revise("bert", [](std::string&) { return false; });
    Take(0ms);
    const auto out = queue_.TakeDue(t0_ + 5s);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].line + out[1].line, "to anneto anne");
    EXPECT_EQ(out[0].partner, "anna");
}

// Typing notices go last, never wait behind other lines, never announce a
// line that is already on its way, and do not pass for answers.
TEST_F(SendQueueTest, TypingNoticesYieldToEverything) {
    queue_.Push(t0_, "T anna", LineClass::Typing, "anna");
    EXPECT_EQ(queue_.TakeDue(t0_).at(0).partner, "");
    for (int k = 0; k < 4; ++k) Push("burst", LineClass::Normal);
    Take(0ms);
    queue_.Push(t0_, "T anna", LineClass::Typing, "anna");
    queue_.Push(t0_, "T bert", LineClass::Typing, "bert");
    queue_.Push(t0_, "answer anna", LineClass::Normal, "anna");  // must wait: anna's notice is stale
    EXPECT_EQ(Take(1s), Lines{"answer anna"});
    Report("report", 1s);
    queue_.Push(t0_ + 1s, "T carl", LineClass::Typing, "carl");  // something waits: dropped
    EXPECT_EQ(Take(2s), Lines{"report"});
    queue_.Push(t0_ + 2s, "T dora", LineClass::Typing, "dora");
    EXPECT_EQ(queue_.NextDue(t0_ + 2s), t0_ + 3s);
    EXPECT_EQ(Take(3s), Lines{"T dora"});
}

}  // namespace
}  // namespace tovik
