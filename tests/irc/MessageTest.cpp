#include "irc/Message.h"
#include "irc/IRC.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace tovik {
namespace {

using test::Escaped;

struct MessageCase {
    std::string line;
    std::string prefix;
    std::string command;
    std::vector<std::string> params;
    bool trailing;
    std::string nick;
};

TEST(IrcMessage, CutsLinesOfEveryShape) {
    const std::vector<MessageCase> cases = {
        {":nick!u@h PRIVMSG #chan :.say bob hi", "nick!u@h", "PRIVMSG", {"#chan", ".say bob hi"}, true, "nick"},
        // RFC 1459 form: the last parameter without its colon.
        {":old!u@h NICK new", "old!u@h", "NICK", {"new"}, false, "old"},
        {":old!u@h NICK :new", "old!u@h", "NICK", {"new"}, true, "old"},
        {":srv 303 me nick", "srv", "303", {"me", "nick"}, false, "srv"},
        {":srv 303 me :", "srv", "303", {"me", ""}, true, "srv"},
        {"PING :abc", "", "PING", {"abc"}, true, ""},
        {"PING abc", "", "PING", {"abc"}, false, ""},
        // A NAMES reply without "=" (some servers leave the channel type out).
        {":srv 353 me #c :@me +b", "srv", "353", {"me", "#c", "@me +b"}, true, "srv"},
        // Runs of blanks separate like one; a colon inside a middle parameter is no trailing one.
        {":srv  MODE   #c  +o  a:b", "srv", "MODE", {"#c", "+o", "a:b"}, false, "srv"},
        {":n!u@2001:db8::1 QUIT", "n!u@2001:db8::1", "QUIT", {}, false, "n"},
        {":n@host JOIN 0", "n@host", "JOIN", {"0"}, false, "n"},
        {"", "", "", {}, false, ""},
        {":onlyprefix", "onlyprefix", "", {}, false, "onlyprefix"},
    };
    for (const auto& c : cases) {
        const IrcMessage m = ParseMessage(c.line);
        EXPECT_EQ(m.prefix, c.prefix) << Escaped(c.line);
        EXPECT_EQ(m.command, c.command) << Escaped(c.line);
        EXPECT_EQ(m.params, c.params) << Escaped(c.line);
        EXPECT_EQ(m.trailing, c.trailing) << Escaped(c.line);
        EXPECT_EQ(m.Nick(), c.nick) << Escaped(c.line);
        EXPECT_EQ(m.Last(), c.params.empty() ? "" : c.params.back()) << Escaped(c.line);
    }
}

// A server's or service's line has no sender, whatever its text holds.
TEST(IrcMessage, TheSenderIsReadFromThePrefixAlone) {
    for (const auto& [line, sender] : std::vector<std::pair<std::string, std::string>>{
             {":srv PRIVMSG bot :hi!", ""}, {":nick!u@h PRIVMSG bot :x", "nick"}, {":n@host JOIN 0", ""}, {"PING :a!b", ""}})
        EXPECT_EQ(ParseMessage(line).Sender(), sender) << line;
    EXPECT_EQ(IrcLower("[Tovik]\\~", CaseMapping::Rfc1459), "{tovik}|^");
    EXPECT_EQ(IrcLower("[Tovik]~", CaseMapping::Ascii), "[tovik]~");
}

TEST(IrcMessage, ReadsTagsWithTheirEscapes) {
    const IrcMessage m =
        ParseMessage("@time=2026-12-09T03:18:34.000Z;+typing=active;flag;x=a\\sb\\:c\\\\d :n!u@h TAGMSG bot");
    EXPECT_EQ(m.Tag("time"), "2026-12-09T03:18:34.000Z");
    EXPECT_EQ(m.Tag("+typing"), "active");
    EXPECT_EQ(m.Tag("flag"), "");
    EXPECT_EQ(m.Tag("x"), "a b;c\\d");
    EXPECT_EQ(m.Tag("missing"), std::nullopt);
    EXPECT_EQ(m.command, "TAGMSG");
    EXPECT_EQ(m.Param(0), "bot");
    EXPECT_EQ(m.Param(5), "");
}

TEST(IrcMessage, CaseMappingsFoldTheirOwnCharacters) {
    EXPECT_TRUE(IrcEquals("[B0T]~", "{b0t}^", CaseMappingFromName("rfc1459")));
    EXPECT_TRUE(IrcEquals("[B0T]~", "{b0t}^", CaseMappingFromName("")));  // unsaid: rfc1459
    EXPECT_FALSE(IrcEquals("a~", "a^", CaseMappingFromName("strict-rfc1459")));
    EXPECT_TRUE(IrcEquals("a\\", "a|", CaseMappingFromName("strict-rfc1459")));
    EXPECT_FALSE(IrcEquals("[x]", "{x}", CaseMappingFromName("ascii")));
    EXPECT_TRUE(IrcEquals("#Chan", "#cHAN", CaseMappingFromName("ascii")));
}

// Every line leaves in CR LF, whatever built it; nothing else changes.
TEST(IrcWire, LinesEndInCrLf) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"PRIVMSG a :hi\n", "PRIVMSG a :hi\r\n"},
        {"CAP END\r\n", "CAP END\r\n"},
        {"\n", "\r\n"},
        {"A\r\nB\n", "A\r\nB\r\n"},
        {"no end", "no end"},
        {"", ""},
    };
    for (const auto& [built, wire] : cases) EXPECT_EQ(Escaped(OnTheWire(built)), Escaped(wire)) << Escaped(built);
}

}  // namespace
}  // namespace tovik
