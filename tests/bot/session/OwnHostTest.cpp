// The bot's own address as the server shows it.

#include "bot/session/OwnHost.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

TEST(OwnHostTest, TakesAnIpAddressOfTheBotsOwnMaskOnly) {
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{":srv 001 bot :Welcome to the Internet Relay Network bot!u@203.0.113.7"}, "203.0.113.7"},
        {{":srv 001 bot :Welcome to the Internet Relay Network bot!u@host.example"}, ""},
        {{":srv 001 bot :Welcome other!u@203.0.113.7"}, ""},
        {{":srv 001 bot :Welcome"}, ""},
        {{":bot!u@2001:db8::7 JOIN #c"}, ""},  // another nick than the bot's
        {{":[BOT]!u@2001:DB8::7 JOIN :#c"}, "2001:db8::7"},
        {{":srv 302 bot :other=+x@198.51.100.1 {bot}*=-u@198.51.100.2"}, "198.51.100.2"},
        {{":srv 001 bot :Welcome bot!u@203.0.113.7", ":[bot]!u@cloak/x JOIN #c"}, "203.0.113.7"},
        {{":srv 001 bot :Welcome bot!u@203.0.113.7", ":srv 302 bot :[bot]=+u@198.51.100.2"}, "198.51.100.2"},
    };
    for (const auto& [lines, address] : rows) {
        OwnHost host;
        for (const std::string& line : lines) host.Follow(ParseMessage(line), "[bot]", CaseMapping::Rfc1459);
        EXPECT_EQ(host.Address(), address) << lines.back();
    }
    EXPECT_EQ(OwnHost::Ask("[bot]"), "USERHOST [bot]\n");
}

}  // namespace
}  // namespace tovik
