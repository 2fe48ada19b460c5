// One conversation per partner: who is answered when, and in which order.

#include "bot/Conversations.h"

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
        return (last_->kind == Kind::Begin ? "begin " : "line ") + last_->message.sender + ": " +
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
    EXPECT_FALSE(Add("Bert", "x"));  // fifty in all
    EXPECT_EQ(conversations_.PendingMessages(), 50u);
}

TEST_F(ConversationsTest, DiscardedConversationsLeaveNoTrace) {
    Add("Anna", "hallo");
    Add("Bert", "hallo");
    EXPECT_EQ(Take(0ms), "begin Anna: hallo");
    const auto stale = *last_;
    conversations_.DiscardAll();
    // Anna writes again on the next connection; the old step must not
    // give her new message the old reply.
    Add("Anna", "wieder da", 1s);
    conversations_.Begun(stale, {"alte antwort"}, t0_ + 1s);
    Left("Anna", 1s);
    EXPECT_EQ(Take(1s), "begin Anna: wieder da");
    Begun({"neu"}, 1s);
    EXPECT_EQ(Take(2s), "line Anna: neu");
    EXPECT_EQ(conversations_.PendingMessages(), 1u);
}

}  // namespace
}  // namespace tovik
