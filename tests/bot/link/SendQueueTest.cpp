// The paced send queue: what leaves when, and in which order.

#include "bot/link/SendQueue.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

class SendQueueTest : public ::testing::Test {
protected:
    SendQueue queue_{[](std::size_t n) { return "left out " + std::to_string(n); }, SendPace{5, 1000ms}, 3};
    const SendQueue::TimePoint t0_ = SendQueue::TimePoint{} + 1h;

    Lines Take(std::chrono::milliseconds at) {
        Lines lines;
        for (auto& departure : queue_.TakeDue(t0_ + at)) lines.push_back(departure.line);
        return lines;
    }
    void Push(const std::string& line, LineClass lineClass, std::chrono::milliseconds at = 0ms) {
        queue_.Push(t0_ + at, line, lineClass);
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
    Push("report", LineClass::Report);
    Push("answer", LineClass::Normal);
    Push("pong", LineClass::Urgent);
    EXPECT_EQ(Take(0ms), (Lines{"report", "answer", "pong"}));
}

TEST_F(SendQueueTest, OnceLinesWaitTheyLeaveByClassAndUrgentOnesNeverWait) {
    for (int k = 0; k < 5; ++k) Push("burst", LineClass::Normal);
    Take(0ms);
    Push("report", LineClass::Report, 10ms);
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
    for (int k = 1; k <= 5; ++k) Push("R" + std::to_string(k), LineClass::Report);
    Push("A1", LineClass::Normal);
    Push("A2", LineClass::Normal);
    EXPECT_EQ(queue_.DroppedReports(), 2u);
    EXPECT_EQ(Take(10s), (Lines{"A1", "A2", "left out 2", "R3", "R4"}));
    EXPECT_EQ(Take(11s), Lines{"R5"});
}

// The gate is asked when a report would leave: what was queued while the
// bot held the channel goes nowhere once it lost it, the summary included,
// and answers are not held up by it.
TEST_F(SendQueueTest, ReportsAndTheirSummaryPassTheGateWhenTheyLeave) {
    bool open = true;
    queue_.SetReportGate([&] { return open; });
    for (int k = 0; k < 5; ++k) Push("burst", LineClass::Normal);
    Take(0ms);
    for (int k = 1; k <= 5; ++k) Push("R" + std::to_string(k), LineClass::Report);
    Push("A1", LineClass::Normal);
    open = false;
    Push("R6", LineClass::Report);
    EXPECT_EQ(Take(10s), Lines{"A1"});
    EXPECT_EQ(queue_.NextDue(t0_ + 10s), std::nullopt);
    open = true;
    Push("R7", LineClass::Report, 20s);
    EXPECT_EQ(Take(20s), Lines{"R7"});
}

TEST_F(SendQueueTest, ClearForgetsWhatWaitsAndRestartGivesTheWholeAllowance) {
    for (int k = 0; k < 7; ++k) Push("old", LineClass::Report);
    Take(0ms);
    queue_.Clear();
    EXPECT_EQ(queue_.Waiting(), 0u);
    EXPECT_EQ(Take(5s), Lines{});
    for (int k = 0; k < 5; ++k) Push("spent", LineClass::Normal, 5s);
    queue_.Restart();
    Push("new", LineClass::Normal, 5s);
    EXPECT_EQ(Take(5s), Lines{"new"});
}

TEST_F(SendQueueTest, AnAnswerKeepsItsPartnerTag) {
    queue_.Push(t0_, "line", LineClass::Normal, "anna");
    const auto out = queue_.TakeDue(t0_);
    ASSERT_EQ(out.size(), 1u);
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
    Push("report", LineClass::Report, 1s);
    queue_.Push(t0_ + 1s, "T carl", LineClass::Typing, "carl");  // something waits: dropped
    EXPECT_EQ(Take(2s), Lines{"report"});
    queue_.Push(t0_ + 2s, "T dora", LineClass::Typing, "dora");
    EXPECT_EQ(queue_.NextDue(t0_ + 2s), t0_ + 3s);
    EXPECT_EQ(Take(3s), Lines{"T dora"});
}

}  // namespace
}  // namespace tovik
