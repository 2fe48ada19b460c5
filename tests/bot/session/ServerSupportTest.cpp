// What a server's 005 lines tell the bot, and what it assumes before.

#include "bot/session/ServerSupport.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

ServerSupport After(std::initializer_list<std::string> lines) {
    ServerSupport support;
    for (const std::string& line : lines) support.Follow(ParseMessage(line));
    return support;
}

TEST(ServerSupportTest, TakesInTheTokensOverSeveralLinesAndTheirWithdrawal) {
    ServerSupport support = After({":srv 004 me srv v1 :NICKLEN=9", ":srv 005 me NICKLEN=12 UTF8ONLY :NICKLEN=3"});
    EXPECT_EQ(support.NickLen(), 12u);
    EXPECT_TRUE(support.Utf8Only());
    support.Follow(ParseMessage(":srv 005 me -UTF8ONLY NICKLEN :x"));
    EXPECT_FALSE(support.Utf8Only());
    EXPECT_EQ(support.NickLen(), std::nullopt);
}

TEST(ServerSupportTest, ModeArgumentsAndOperatorsFollowChanmodesAndPrefix) {
    const ServerSupport typical;
    const ServerSupport big = After({":srv 005 me CHANMODES=eIbq,k,flj,CimnstZ PREFIX=(qaohv)~&@%+ :ok"});
    // Whether a letter takes an argument, as "set unset" on the typical and on the big server.
    for (const std::string row : {"b 1111", "k 1111", "l 1010", "f 0010", "q 1111", "h 1111", "o 1111", "Z 0000"}) {
        const std::string got = {"01"[typical.TakesArgument(row[0], true)], "01"[typical.TakesArgument(row[0], false)],
                                 "01"[big.TakesArgument(row[0], true)], "01"[big.TakesArgument(row[0], false)]};
        EXPECT_EQ(got, row.substr(2)) << row[0];
    }
    std::string operators;
    for (const char symbol : std::string("~&@%+")) operators += big.IsOperatorMode(big.ModeOfSymbol(symbol)) ? symbol : '.';
    EXPECT_EQ(operators, "~&@..");
    EXPECT_EQ(typical.ModeOfSymbol('~'), 'q');  // before PREFIX: it counts
    EXPECT_EQ(After({":srv 005 me PREFIX=(ov)@+ :ok"}).ModeOfSymbol('~'), '\0');
}

TEST(ServerSupportTest, ClientTagDeny) {
    for (const auto& [deny, tag, allowed] : {std::tuple{"", "typing", true}, {"*", "+typing", false},
                                             {"*,-typing", "typing", true}, {"*,-typing", "+react", false},
                                             {"typing", "+typing", false}, {"typing,react", "reply", true}})
        EXPECT_EQ(After({":srv 005 me CLIENTTAGDENY=" + std::string(deny)}).AllowsClientTag(tag), allowed) << deny;
}

}  // namespace
}  // namespace tovik
