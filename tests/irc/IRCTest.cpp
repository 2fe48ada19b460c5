#include "irc/IRC.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "text/Errors.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::Escaped;

struct BuilderCase {
    const char* name;
    std::string actual;
    std::string expected;
};

TEST(IRCBuilders, ProduceExactBytes) {
    const std::vector<BuilderCase> cases = {
        {"login", MakeLogin("[]B0T[]", "Tovik-B0T", "Tovik B0T"),
         "NICK []B0T[]\nUSER Tovik-B0T 0 0 :Tovik B0T\n"},
        {"join", MakeJoin("#Tovik-B0T"), "JOIN #Tovik-B0T\n"},
        {"privmsg", MakePrivMsg("bob", "hallo du"), "PRIVMSG bob :hallo du\n"},
        {"privmsg empty text", MakePrivMsg("target", ""), "PRIVMSG target :\n"},
        {"mode with argument", MakeMode("#chan", "+o", "bob"), "MODE #chan +o bob\n"},
        {"mode without argument", MakeMode("#chan", "+msi", ""), "MODE #chan +msi \n"},
        {"topic", MakeTopic("#chan", "Tovik-B0T hier"), "TOPIC #chan :Tovik-B0T hier\n"},
        {"kick", MakeKick("#chan", "bob", "raus"), "KICK #chan bob :raus\n"},
        {"invite", MakeInvite("bob", "#chan"), "INVITE bob #chan\n"},
        {"pong", MakePong("PING :abc123"), "PONG abc123\n"},
        {"pong bare", MakePong("PING"), "PONG \n"},
        {"pong six chars", MakePong("PING :"), "PONG \n"},
        {"pong without colon", MakePong("PING abc123"), "PONG bc123\n"},
        {"ident", MakeIdentReply("6191, 23", "UNIX", "Tovik"),
         "6191, 23 : USERID : UNIX : Tovik\n"},
        {"raw", MakeRawLine("WHOIS bob"), "WHOIS bob\n"},
        {"raw empty", MakeRawLine(""), "\n"},
        // Arguments go out as they are: no trimming, no conversion.
        {"umlaut byte", MakePrivMsg("bob", "München"_w1252), "PRIVMSG bob :M\xFCnchen\n"},
        {"embedded line end", MakeJoin("#a\nQUIT"), "JOIN #a\nQUIT\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Escaped(c.actual), Escaped(c.expected)) << c.name;
}

TEST(IRCParsers, IsPing) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"PING :irc.example.net", true}, {"PING", true},          {"PINGPONG", true},
        {"PINGX", true},                 {"ping :x", false},      {":hub PING :x", false},
        {"PIN", false},                  {"", false},             {" PING :x", false},
    };
    for (const auto& [line, expected] : cases) EXPECT_EQ(IsPing(line), expected) << line;
}

// One row per line: the expected result of every parser.
struct ParseCase {
    std::string line;
    std::string nick, command, target, text, first, second, secondRest, third, thirdRest;
};

void ExpectParsed(const ParseCase& c) {
    SCOPED_TRACE(Escaped(c.line));
    EXPECT_EQ(Escaped(GetNick(c.line)), Escaped(c.nick)) << "nick";
    EXPECT_EQ(Escaped(GetCommand(c.line)), Escaped(c.command)) << "command";
    EXPECT_EQ(Escaped(GetTarget(c.line)), Escaped(c.target)) << "target";
    EXPECT_EQ(Escaped(GetText(c.line)), Escaped(c.text)) << "text";
    EXPECT_EQ(Escaped(GetFirstWord(c.line)), Escaped(c.first)) << "first word";
    EXPECT_EQ(Escaped(GetSecondWord(c.line, false)), Escaped(c.second)) << "second word";
    EXPECT_EQ(Escaped(GetSecondWord(c.line, true)), Escaped(c.secondRest)) << "after 1st blank";
    EXPECT_EQ(Escaped(GetThirdWord(c.line, false)), Escaped(c.third)) << "third word";
    EXPECT_EQ(Escaped(GetThirdWord(c.line, true)), Escaped(c.thirdRest)) << "after 2nd blank";
}

TEST(IRCParsers, WorkedExample) {
    ExpectParsed({":nick!user PRIVMSG #chan :.say bob hi how are you", "nick", "PRIVMSG", "#chan",
                  ".say bob hi how are you", ".say", "bob", "bob hi how are you", "hi",
                  "hi how are you"});
}

TEST(IRCParsers, EdgeShapes) {
    const std::vector<ParseCase> cases = {
        // line, nick, command, target, text, first, second, 2nd rest, third, 3rd rest
        {"", "", "", "", "", "", "", "", "", ""},
        {":", "", "", "", "", "", "", "", "", ""},
        {"PING :abc", "", "", "", "abc", "abc", "", "", "", ""},
        {"NOTICE AUTH :x", "", "", "", "x", "x", "", "", "", ""},
        {":hub 376 bot :End of MOTD", "", "376", "bot", "End of MOTD", "End", "of", "of MOTD",
         "MOTD", "MOTD"},
        // "!" is searched in the whole line, the text included.
        {":hub NOTICE AUTH :hi!", "hub NOTICE AUTH :hi", "NOTICE", "AUTH", "hi!", "hi!", "", "",
         "", ""},
        {":!x y z w", "", "y", "z", "", "", "", "", "", ""},
        // A command that ends the line is not found; nor a target.
        {":nick!user QUIT", "nick", "", "", "", "", "", "", "", ""},
        {":nick!user JOIN :#chan", "nick", "JOIN", "", "#chan", "#chan", "", "", "", ""},
        {":nick!user JOIN #chan", "nick", "JOIN", "", "", "", "", "", "", ""},
        {":nick!user PRIVMSG #chan :", "nick", "PRIVMSG", "#chan", "", "", "", "", "", ""},
        // Only the first text colon counts.
        {":nick!user PRIVMSG #c :a:b c", "nick", "PRIVMSG", "#c", "a:b c", "a:b", "c", "c", "",
         ""},
        // A blank right after the colon: empty first word.
        {":n!u PRIVMSG b :: x", "n", "PRIVMSG", "b", ": x", ":", "x", "x", "", ""},
        {":n!u PRIVMSG b : x", "n", "PRIVMSG", "b", " x", "", "x", "x", "", ""},
        {":n!u PRIVMSG b :word ", "n", "PRIVMSG", "b", "word ", "word", "", "", "", ""},
        {":n!u PRIVMSG b :one two ", "n", "PRIVMSG", "b", "one two ", "one", "two", "two ", "",
         ""},
        // Adjacent blanks: the word takes its first character even if blank.
        {":n!u PRIVMSG b :a  b", "n", "PRIVMSG", "b", "a  b", "a", " b", " b", "b", "b"},
        {":n!u PRIVMSG b :a  b  c", "n", "PRIVMSG", "b", "a  b  c", "a", " b", " b  c", "b",
         "b  c"},
        // Adjacent blanks in the header delimit empty fields.
        {":n!u  PRIVMSG b :x", "n", "", "PRIVMSG", "x", "x", "", "", "", ""},
        {":n!u PRIVMSG  b :x", "n", "PRIVMSG", "", "x", "x", "", "", "", ""},
        // An IPv6 host in the prefix: its colons are not the text colon.
        {":n!u@2001:db8::1 PRIVMSG b :.say #c hi", "n", "PRIVMSG", "b", ".say #c hi", ".say",
         "#c", "#c hi", "hi", "hi"},
        {":n!u@::1 PRIVMSG b :\x01VERSION\x01", "n", "PRIVMSG", "b", "\x01VERSION\x01",
         "\x01VERSION\x01", "", "", "", ""},
        {":n!u@::1 QUIT", "n", "", "", "", "", "", "", "", ""},
        // Bytes above 127 are plain bytes.
        {":J\xF6rg!u PRIVMSG b :gr\xFC\xDF dich", "J\xF6rg", "PRIVMSG", "b", "gr\xFC\xDF dich",
         "gr\xFC\xDF", "dich", "dich", "", ""},
    };
    for (const auto& c : cases) ExpectParsed(c);
}

TEST(IRCAddress, IPPart) {
    EXPECT_EQ(IPPart("192.168.2.33", 1), 192);
    EXPECT_EQ(IPPart("192.168.2.33", 2), 168);
    EXPECT_EQ(IPPart("192.168.2.33", 3), 2);
    EXPECT_EQ(IPPart("192.168.2.33", 4), 33);
    EXPECT_EQ(IPPart("192.168.2.33", 5), 0);
    EXPECT_EQ(IPPart("192.168.2.33", 0), 0);
    EXPECT_EQ(IPPart("", 1), 0);
    EXPECT_EQ(IPPart("7", 1), 7);
    EXPECT_EQ(IPPart("1.2", 3), 0);
    EXPECT_EQ(IPPart("1.", 1), 1);
}

TEST(IRCAddress, IPPartRejectsNonDecimalPart) {
    struct Case {
        std::string address;
        int n;
        std::string offending;
    };
    const std::vector<Case> cases = {
        {"1..2", 2, ""}, {"1.", 2, ""}, {".1", 1, ""}, {"a.b.c.d", 1, "a"}, {"1.2.3.x4", 4, "x4"},
        {"1.2.3. 4", 4, " 4"},
    };
    for (const auto& c : cases) {
        try {
            IPPart(c.address, c.n);
            ADD_FAILURE() << c.address << " part " << c.n << " did not throw";
        } catch (const ConvertError& e) {
            EXPECT_EQ(Escaped(e.what()),
                      Escaped("'" + c.offending + std::string("' ist kein gültiger Integerwert"_w1252)))
                << c.address;
        }
    }
}

TEST(IRCAddress, IPToInteger) {
    const std::vector<std::pair<std::string, std::uint32_t>> cases = {
        {"0.0.1.2", 258u},
        {"0.1.0.0", 65536u},
        {"127.0.0.1", 2130706433u},
        {"", 0u},
        {"1.2", 16908288u},  // as 1.2.0.0
        {"1.2.0.0", 16908288u},
        {"128.0.0.0", 2147483648u},
        {"255.255.255.255", 4294967295u},
        {"0.0.1.256", 512u},       // 256 adds into the third byte
        {"0.0.0.65536", 65536u},
        {"256.0.0.1", 1u},         // wraps in 32 bits
    };
    for (const auto& [address, expected] : cases)
        EXPECT_EQ(IPToInteger(address), expected) << address;
    // Printed without a sign, as the DCC offer does.
    EXPECT_EQ(std::to_string(IPToInteger("192.168.2.33")), "3232236065");
}

TEST(RemoveLineBreaksTest, KeepsEverythingElse) {
    EXPECT_EQ(RemoveLineBreaks(std::string("a\rb\nc\0d\te\x01", 10)), "abcd\te\x01");
}

}  // namespace
}  // namespace tovik

namespace tovik {
namespace {

// Tags go, whatever they hold; a line without them, or whose text merely
// starts with "@", stays as it is.
TEST(IRCParsers, WithoutTags) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"@time=2026-12-08T10:00:00Z;msgid=x :n!u@h PRIVMSG Bot :hi", ":n!u@h PRIVMSG Bot :hi"},
        {"@a=b  PING :token", "PING :token"},
        {"@a=b;c=d\\se", ""},
        {":n!u@h PRIVMSG Bot :@nicht getaggt", ":n!u@h PRIVMSG Bot :@nicht getaggt"},
        {"PING :x", "PING :x"},
        {"", ""},
    };
    for (const auto& [line, expected] : cases) EXPECT_EQ(WithoutTags(line), expected) << line;
}

}  // namespace
}  // namespace tovik
