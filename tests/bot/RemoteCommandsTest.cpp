#include "bot/RemoteCommands.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "bot/DenyList.h"

namespace tovik {
namespace {

using test::Escaped;
using Lines = std::vector<std::string>;

// Runs one command-channel line and returns what the bot sent, escaped.
struct Channel {
    DenyList denyList;
    bool changed = false;

    Lines Post(const std::string& text, const std::string& channel = "#Tovik-B0T") {
        Lines sent;
        changed = RunRemoteCommand(RemoteCommand::FromLine(":op!u@h PRIVMSG " + channel + " :" + text), channel,
                                   denyList, [&](const std::string& line) { sent.push_back(Escaped(line)); });
        return sent;
    }
};

struct CommandCase {
    std::string text;
    Lines sent;
};

class RemoteCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(RemoteCommandTest, SendsExactlyThese) {
    Channel channel;
    EXPECT_EQ(channel.Post(GetParam().text), GetParam().sent) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoteCommandTest,
    ::testing::Values(
        CommandCase{".join #elsewhere", {"JOIN #elsewhere\\x0A"}},
        CommandCase{".JOIN #Elsewhere more words", {"JOIN #Elsewhere\\x0A"}},
        CommandCase{".join", {"JOIN \\x0A"}},
        CommandCase{".join,", {}},
        CommandCase{".say #somewhere hello there",
                    {"PRIVMSG #somewhere :hello there\\x0A",
                     "PRIVMSG #Tovik-B0T :\\x0314--> #somewhere: hello there\\x0A"}},
        CommandCase{".say", {"PRIVMSG  :\\x0A", "PRIVMSG #Tovik-B0T :\\x0314--> : \\x0A"}},
        CommandCase{".info", {"PRIVMSG #Tovik-B0T :\\x02Tovik-B0T (c) 2026 Tovik-Team ... Version: 0.10 BETA\\x0A"}},
        CommandCase{".info please", {"PRIVMSG #Tovik-B0T :\\x02Tovik-B0T (c) 2026 Tovik-Team ... Version: 0.10 BETA\\x0A"}},
        CommandCase{".info!", {}},
        CommandCase{".answer Foo OFF", {"PRIVMSG #Tovik-B0T :\\x0314Answering for Foo Disabled\\x0A"}},
        CommandCase{".answer Foo On", {"PRIVMSG #Tovik-B0T :\\x0314Answering for Foo Enabled\\x0A"}},
        CommandCase{".answer Foo", {}},
        CommandCase{".answer on", {}},
        CommandCase{".answer Foo maybe", {}},
        CommandCase{"hello everybody", {}},
        CommandCase{"", {}}));

TEST(RemoteCommandsTest, AnswerOffDeniesAndReportsFirst) {
    Channel channel;
    Lines sent;
    DenyList& list = channel.denyList;
    const bool changed = RunRemoteCommand(
        RemoteCommand::FromLine(":op!u@h PRIVMSG #c :.ANSWER Foo OFF"), "#c", list,
        [&](const std::string& line) {
            // The report leaves before the list changes.
            EXPECT_FALSE(list.IsDenied("Foo"));
            sent.push_back(line);
        });
    EXPECT_TRUE(changed);
    EXPECT_EQ(sent, Lines{"PRIVMSG #c :\x03" "14Answering for Foo Disabled\n"});
    EXPECT_EQ(list.Entries(), Lines{"Foo"});
}

TEST(RemoteCommandsTest, AnswerOffTwiceReportsTwiceListsOnce) {
    Channel channel;
    EXPECT_EQ(channel.Post(".answer foo off").size(), 1u);
    EXPECT_TRUE(channel.changed);
    EXPECT_EQ(channel.Post(".answer foo off").size(), 1u);
    EXPECT_FALSE(channel.changed);
    EXPECT_EQ(channel.denyList.Entries(), Lines{"foo"});
}

TEST(RemoteCommandsTest, AnswerOnRemovesWhateverCaseWasTyped) {
    Channel channel;
    channel.Post(".answer Anna off");
    channel.Post(".answer Foo off");
    channel.Post(".answer Bert off");
    EXPECT_EQ(channel.Post(".answer FOO on"),
              Lines{"PRIVMSG #Tovik-B0T :\\x0314Answering for FOO Enabled\\x0A"});
    EXPECT_TRUE(channel.changed);
    EXPECT_EQ(channel.denyList.Entries(), (Lines{"Anna", "Bert"}));
}

TEST(RemoteCommandsTest, AnswerOnForAnUnlistedNickStillReports) {
    Channel channel;
    EXPECT_EQ(channel.Post(".answer Bar on").size(), 1u);
    EXPECT_FALSE(channel.changed);
    EXPECT_TRUE(channel.denyList.Entries().empty());
}

TEST(RemoteCommandsTest, ReportsGoToTheGivenChannel) {
    Channel channel;
    EXPECT_EQ(channel.Post(".say bob hi", "#Other"),
              (Lines{"PRIVMSG bob :hi\\x0A", "PRIVMSG #Other :\\x0314--> bob: hi\\x0A"}));
}

TEST(RemoteCommandsTest, FieldsComeFromTheMessageText) {
    const RemoteCommand command = RemoteCommand::FromLine(":n!u@h PRIVMSG #c :.SAY bob hi how are you");
    EXPECT_EQ(command.word, ".say");
    EXPECT_EQ(command.argument, "bob");
    EXPECT_EQ(command.switchWord, "hi");
    EXPECT_EQ(command.sayText, "hi how are you");
}

}  // namespace
}  // namespace tovik
