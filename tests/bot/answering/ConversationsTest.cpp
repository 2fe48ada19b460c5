// One conversation per partner: who is answered when, and in which order.

#include "bot/answering/Conversations.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

using namespace std::chrono_literals;
using Kind = Conversations::Step::Kind;

class ConversationsTest : public ::testing::Test {
protected:
    Conversations conversations_{Conversations::Bounds{50, 1u << 20, 3}};
    const Conversations::TimePoint t0_ = Conversations::TimePoint{} + 1h;

    bool Add(const std::string& nick, const std::string& text, std::chrono::milliseconds at = 0ms) {
        return conversations_.Add(PrivateMessage{nick, text, "#c", 10}, t0_ + at);
    }
    // What is due at `at`, as "begin nick: text" or "line nick: line".
    std::string Take(std::chrono::milliseconds at) {
        last_ = conversations_.TakeDue(t0_ + at);
        if (!last_) return "-";
        // A message shows who wrote it; a line whom it goes to now.
        return (last_->kind == Kind::Begin ? "begin " + last_->message.sender : "line " + last_->to) + ": " +
               (last_->kind == Kind::Begin ? last_->message.text : last_->line);
    }
    void Begun(std::vector<std::string> lines, std::chrono::milliseconds at) {
        conversations_.Begun(*last_, std::move(lines), t0_ + at);
    }
    void Left(const std::string& nick, std::chrono::milliseconds at) {
        conversations_.LineLeft(Conversations::PartnerOf(nick), t0_ + at);
    }

    std::optional<Conversations::Step> last_;
};

TEST_F(ConversationsTest, RepliesToDifferentPartnersGoOnSideBySide) {
    Add("Anna", "hallo");
    Add("Bert", "wie alt bist du");
    EXPECT_EQ(Take(0ms), "begin Anna: hallo");
    Begun({"hi anna"}, 0ms);  // 7 characters: due at 70 ms
    EXPECT_EQ(Take(0ms), "begin Bert: wie alt bist du");
    Begun({"22", "und du?"}, 5ms);  // due at 25 ms
    EXPECT_EQ(Take(24ms), "-");
    EXPECT_EQ(conversations_.NextWake(), t0_ + 25ms);
    EXPECT_EQ(Take(25ms), "line Bert: 22");
    // Bert's second line is typed from the moment the first one left.
    Left("Bert", 40ms);
    EXPECT_EQ(Take(69ms), "-");
    EXPECT_EQ(Take(70ms), "line Anna: hi anna");
    Left("Anna", 70ms);
    EXPECT_EQ(Take(109ms), "-");
    EXPECT_EQ(Take(110ms), "line Bert: und du?");
    Left("Bert", 110ms);
    EXPECT_EQ(conversations_.PendingMessages(), 0u);
    EXPECT_EQ(conversations_.Partners(), 0u);
}

TEST_F(ConversationsTest, APartnersMessagesAreAnsweredInOrderOneReplyAfterTheOther) {
    Add("Anna", "eins");
    Add("ANNA", "zwei");  // the same partner in another case
    EXPECT_EQ(Take(0ms), "begin Anna: eins");
    Begun({"a", "b"}, 0ms);
    EXPECT_EQ(Take(10ms), "line Anna: a");
    EXPECT_EQ(Take(10ms), "-");  // nothing more until the line has left
    Left("anna", 500ms);
    EXPECT_EQ(Take(510ms), "line Anna: b");
    Left("Anna", 510ms);
    EXPECT_EQ(Take(510ms), "begin ANNA: zwei");
    Begun({}, 510ms);  // denied or nothing to say: done at once
    EXPECT_EQ(Take(510ms), "-");
    EXPECT_EQ(conversations_.PendingMessages(), 0u);
}

TEST_F(ConversationsTest, ANewMessageNeverHoldsBackAnotherPartnersReply) {
    Add("Anna", "hallo");
    EXPECT_EQ(Take(0ms), "begin Anna: hallo");
    Begun({"hallo du"}, 0ms);  // due at 80 ms
    for (int k = 0; k < 20; ++k) Add("Clone" + std::to_string(k), "spam", 10ms);
    EXPECT_EQ(Take(10ms), "begin Clone0: spam");
    Begun({"ganz lange antwort auf spam"}, 10ms);
    EXPECT_EQ(Take(10ms), "begin Clone1: spam");
    Begun({"ganz lange antwort auf spam"}, 10ms);
    EXPECT_EQ(Take(80ms).substr(0, 16), "begin Clone2: sp");  // begins were due before
    for (int k = 3; k < 20; ++k) Take(80ms), Begun({"ganz lange antwort auf spam"}, 80ms);
    EXPECT_EQ(Take(80ms), "line Anna: hallo du");
}

TEST_F(ConversationsTest, BeyondTheBoundsMessagesAreRefused) {
    EXPECT_TRUE(Add("Anna", "1"));
    EXPECT_TRUE(Add("Anna", "2"));
    EXPECT_TRUE(Add("Anna", "3"));
    EXPECT_FALSE(Add("anna", "4"));  // three per partner
    EXPECT_EQ(Take(0ms), "begin Anna: 1");
    EXPECT_FALSE(Add("Anna", "4"));  // the one being answered counts
    Begun({}, 0ms);
    EXPECT_TRUE(Add("Anna", "4"));
    for (int k = 0; k < 47; ++k) EXPECT_TRUE(Add("P" + std::to_string(k), "x"));
    // Fifty in all: the oldest waiting message of all makes room, to be reported only.
    EXPECT_TRUE(Add("Bert", "x"));
    EXPECT_EQ(conversations_.PendingMessages(), 50u);
    const auto givenUp = conversations_.TakeGivenUp();
    ASSERT_EQ(givenUp.size(), 1u);
    EXPECT_EQ(givenUp[0].text, "2");
}

TEST_F(ConversationsTest, APartnersReplyFollowsHisNewNickAndEndsWhenHeQuits) {
    Add("Anna", "eins");
    EXPECT_EQ(Take(0ms), "begin Anna: eins");
    Begun({"a", "b", "c"}, 0ms);
    Add("Anna", "zwei");
    EXPECT_EQ(Take(10ms), "line Anna: a");
    EXPECT_TRUE(conversations_.Rename("Anna", "Anne").empty());
    Left("Anna", 10ms);  // the line handed out before the rename
    EXPECT_EQ(Take(20ms), "line Anne: b");
    Add("Anne", "drei");
    const auto never = conversations_.Quit("ANNE");
    ASSERT_EQ(never.size(), 2u);
    EXPECT_EQ(never[0].text + never[1].text, "zweidrei");
    Left("Anne", 20ms);
    EXPECT_EQ(Take(1s), "-");
    EXPECT_EQ(conversations_.PendingMessages() + conversations_.Partners(), 0u);
}

TEST(ConversationsFloodTest, AFloodGivesUpItsOwnOldestMessagesAndALatePartnerIsStillAnswered) {
    const auto t0 = Conversations::TimePoint{} + 1h;
    ASSERT_EQ(Conversations::MessagesFor(1s), 90u);
    Conversations conversations(Conversations::Bounds{Conversations::MessagesFor(1s)});
    const auto add = [&](const std::string& nick) {
        return conversations.Add(PrivateMessage{nick, "?", "#c", 10}, t0);
    };
    // Eighty questions from eight partners at once all wait for their answer.
    for (int k = 0; k < 80; ++k) EXPECT_TRUE(add("p" + std::to_string(k % 8)));
    EXPECT_TRUE(conversations.TakeGivenUp().empty());
    for (int k = 0; k < 20; ++k) add("flooder");
    EXPECT_FALSE(add("flooder"));  // twenty per partner
    for (int k = 0; k < 1000; ++k) EXPECT_TRUE(add("c" + std::to_string(k)));
    EXPECT_TRUE(add("Late"));
    EXPECT_EQ(conversations.PendingMessages(), 90u);
    EXPECT_EQ(conversations.TakeGivenUp().size(), 80u + 20u + 1000u + 1u - 90u);
    std::string last;
    while (auto step = conversations.TakeDue(t0)) conversations.Begun(*step, {}, t0), last = step->to;
    EXPECT_EQ(last, "Late");
}

// Clones whose answers are all being typed do not keep a new partner out:
// the oldest answer stops there (it was reported when it began), and a clone
// who asks again waits at the back.
TEST(ConversationsFloodTest, ClonesBeingAnsweredDoNotKeepANewPartnerOut) {
    const auto t0 = Conversations::TimePoint{} + 1h;
    Conversations conversations(Conversations::Bounds{3, 1u << 20, 20});
    const auto add = [&](const std::string& nick) {
        return conversations.Add(PrivateMessage{nick, "?", "#c", 10}, t0 + 1s);
    };
    for (const char* clone : {"c0", "c1", "c2"}) {
        ASSERT_TRUE(conversations.Add(PrivateMessage{clone, "?", "#c", 10}, t0));
        conversations.Begun(*conversations.TakeDue(t0), {"eine lange antwort"}, t0);
    }
    const auto sending = conversations.TakeDue(t0 + 1s);  // c0's line is on its way
    EXPECT_TRUE(add("Late"));
    conversations.LineLeft(sending->partner, t0 + 1s);
    EXPECT_TRUE(add("c0"));
    EXPECT_TRUE(conversations.TakeGivenUp().empty());
    EXPECT_EQ(conversations.PendingMessages(), 3u);
    std::string order;
    while (auto step = conversations.TakeDue(t0 + 2s)) {
        order += (step->kind == Kind::Begin ? "begin " : "line ") + step->to + " ";
        if (step->kind == Kind::Begin) conversations.Begun(*step, {}, t0 + 2s);
        else conversations.LineLeft(step->partner, t0 + 2s);
    }
    EXPECT_EQ(order, "line c2 begin Late begin c0 ");
    EXPECT_EQ(conversations.PendingMessages() + conversations.Partners(), 0u);
}

}  // namespace
}  // namespace tovik
