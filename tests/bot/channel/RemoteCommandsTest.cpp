#include "bot/channel/RemoteCommands.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "bot/channel/DenyList.h"
#include "irc/Message.h"

namespace tovik {
namespace {

using test::Escaped;
using Lines = std::vector<std::string>;

RemoteCommand FromLine(std::string_view line) { return RemoteCommand::FromMessage(ParseMessage(line)); }

// Runs one command-channel line and returns what the bot sent, escaped.
struct Channel {
    DenyList denyList;
    bool changed = false;

    Lines Post(const std::string& text, const std::string& channel = "#Tovik-B0T") {
        Lines sent;
        changed = RunRemoteCommand(FromLine(":op!u@h PRIVMSG " + channel + " :" + text), channel,
                                   denyList, [&](const std::string& line, Charset) { sent.push_back(Escaped(line)); });
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
        FromLine(":op!u@h PRIVMSG #c :.ANSWER Foo OFF"), "#c", list,
        [&](const std::string& line, Charset) {
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

// The operator's client may speak either encoding; the target hears the
// text in its charset, the command channel reads the report in its own.
struct RelayCase {
    std::string text;        // the operator's message
    Charset channel;         // the command channel's charset
    Charset target;          // the ".say" target's
    std::string relayed;     // the line to the target
    std::string report;      // the report's text after the colour code
};

class RemoteCommandRelayTest : public ::testing::TestWithParam<RelayCase> {};

TEST_P(RemoteCommandRelayTest, RelaysInTheTargetsCharsetAndReportsInTheChannels) {
    const RelayCase& c = GetParam();
    DenyList denyList;
    std::vector<std::pair<std::string, Charset>> sent;
    std::string asked;
    const CommandCharsets charsets{c.channel, [&](std::string_view target) {
                                       asked = std::string(target);
                                       return c.target;
                                   }};
    RunRemoteCommand(FromLine(":op!u@h PRIVMSG #c :" + c.text), "#c", denyList,
                     [&](const std::string& line, Charset charset) { sent.emplace_back(line, charset); }, charsets);
    ASSERT_EQ(sent.size(), 2u) << Escaped(c.text);
    EXPECT_EQ(asked, "#x");
    EXPECT_EQ(Escaped(sent[0].first), Escaped("PRIVMSG #x :" + c.relayed + "\n"));
    EXPECT_EQ(sent[0].second, c.target);
    EXPECT_EQ(Escaped(sent[1].first), Escaped("PRIVMSG #c :\x03" "14--> #x: " + c.report + "\n"));
    EXPECT_EQ(sent[1].second, c.channel);
}

const std::string kGreetUtf8 = "gr\xc3\xbc\xc3\x9f dich";
const std::string kGreetCp1252 = "gr\xfc\xdf dich";

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoteCommandRelayTest,
    ::testing::Values(
        RelayCase{".say #x " + kGreetUtf8, Charset::Utf8, Charset::Utf8, kGreetUtf8, kGreetUtf8},
        RelayCase{".say #x " + kGreetUtf8, Charset::Utf8, Charset::Cp1252, kGreetCp1252, kGreetUtf8},
        RelayCase{".say #x " + kGreetUtf8, Charset::Cp1252, Charset::Utf8, kGreetUtf8, kGreetCp1252},
        RelayCase{".say #x " + kGreetCp1252, Charset::Utf8, Charset::Utf8, kGreetUtf8, kGreetUtf8},
        RelayCase{".say #x " + kGreetCp1252, Charset::Cp1252, Charset::Cp1252, kGreetCp1252, kGreetCp1252},
        // A character Windows-1252 lacks: kept for UTF-8, "?" otherwise
        // (never the byte that stands for it when the text is matched).
        RelayCase{".say #x ok \xf0\x9f\x98\x80", Charset::Utf8, Charset::Cp1252, "ok ?",
                  "ok \xf0\x9f\x98\x80"},
        // The command word typed in capitals with an umlaut elsewhere.
        RelayCase{".SAY #x \xc3\x9c" "ber", Charset::Cp1252, Charset::Cp1252, "\xdc" "ber", "\xdc" "ber"}));

TEST(RemoteCommandsTest, AUtf8CommandIsReadInWindows1252) {
    const RemoteCommand command = FromLine(":n!u@h PRIVMSG #c :.answer J\xc3\xb6rg OFF");
    EXPECT_EQ(command.encoding, TextEncoding::Utf8);
    EXPECT_EQ(command.word, ".answer");
    EXPECT_EQ(Escaped(command.argument), Escaped("J\xf6rg"));
    EXPECT_EQ(Escaped(command.typedArgument), Escaped("J\xc3\xb6rg"));
    EXPECT_EQ(command.switchWord, "OFF");
}

TEST(RemoteCommandsTest, ANickTypedInEitherEncodingIsTheSameDenyListEntry) {
    DenyList denyList;
    std::vector<std::string> sent;
    const auto post = [&](const std::string& text, Charset channel) {
        return RunRemoteCommand(FromLine(":op!u@h PRIVMSG #c :" + text), "#c", denyList,
                                [&](const std::string& line, Charset) { sent.push_back(Escaped(line)); },
                                CommandCharsets{channel});
    };
    EXPECT_TRUE(post(".answer J\xc3\xb6rg off", Charset::Cp1252));
    EXPECT_EQ(denyList.Entries(), Lines{"J\xf6rg"});
    EXPECT_FALSE(post(".answer J\xf6rg off", Charset::Utf8));  // the same nick from a Windows-1252 client
    EXPECT_TRUE(post(".answer J\xc3\x96RG on", Charset::Utf8));
    EXPECT_TRUE(denyList.Entries().empty());
    EXPECT_EQ(sent, (Lines{"PRIVMSG #c :\\x0314Answering for J\\xF6rg Disabled\\x0A",
                           "PRIVMSG #c :\\x0314Answering for J\\xC3\\xB6rg Disabled\\x0A",
                           "PRIVMSG #c :\\x0314Answering for J\\xC3\\x96RG Enabled\\x0A"}));
}

TEST(RemoteCommandsTest, FieldsComeFromTheMessageText) {
    const RemoteCommand command = FromLine(":n!u@h PRIVMSG #c :.SAY bob hi how are you");
    EXPECT_EQ(command.word, ".say");
    EXPECT_EQ(command.argument, "bob");
    EXPECT_EQ(command.switchWord, "hi");
    EXPECT_EQ(command.sayText, "hi how are you");
}

}  // namespace
}  // namespace tovik
