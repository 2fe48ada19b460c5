// What a server's 005 lines tell the bot, and what it assumes before.

#include "bot/ServerSupport.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

ServerSupport After(std::initializer_list<const char*> lines) {
    ServerSupport support;
    for (const char* line : lines) support.Follow(ParseMessage(line));
    return support;
}

TEST(ServerSupportTest, ATypicalServerUntilItSpeaks) {
    const ServerSupport support = After({":srv 004 me srv v1 :NICKLEN=9 PREFIX=(q)~"});
    EXPECT_EQ(support.NickLen(), std::nullopt);
    EXPECT_EQ(support.Mapping(), CaseMapping::Rfc1459);
    EXPECT_EQ(support.ChanModes(), (std::array<std::string, 4>{"beI", "k", "l", "imnpst"}));
    EXPECT_EQ(support.PrefixModes() + support.PrefixSymbols(), "ov@+");
    EXPECT_FALSE(support.Utf8Only());
    EXPECT_TRUE(support.AllowsClientTag("+typing"));
}

TEST(ServerSupportTest, TakesInTheTokensOverSeveralLinesAndTheirWithdrawal) {
    ServerSupport support = After({":srv 005 me NICKLEN=12 CHANMODES=eIbq,k,flj,CFLMPQcgimnprstz :are supported",
                                   ":srv 005 me PREFIX=(qaohv)~&@%+ CASEMAPPING=ascii UTF8ONLY CLIENTTAGDENY=*,-typing",
                                   ":srv 005 me NICKLEN :UTF8ONLY CASEMAPPING=rfc1459 is prose"});
    EXPECT_EQ(support.NickLen(), std::nullopt);  // "NICKLEN" without a number says nothing
    EXPECT_EQ(support.Mapping(), CaseMapping::Ascii);
    EXPECT_TRUE(support.Utf8Only());
    EXPECT_EQ(support.ClientTagDeny(), "*,-typing");
    EXPECT_EQ(support.PrefixSymbols(), "~&@%+");
    support.Follow(ParseMessage(":srv 005 me -UTF8ONLY NICKLEN=30 -CLIENTTAGDENY PREFIX=(ov)@+ :x"));
    EXPECT_FALSE(support.Utf8Only());
    EXPECT_EQ(support.NickLen(), 30u);
    EXPECT_EQ(support.ClientTagDeny(), "");
    EXPECT_EQ(support.PrefixSymbols(), "@+");
    support.Reset();
    EXPECT_EQ(support.Mapping(), CaseMapping::Rfc1459);
}

TEST(ServerSupportTest, ModeArgumentsAndOperatorsFollowChanmodesAndPrefix) {
    const ServerSupport typical;
    const ServerSupport big = After({":srv 005 me CHANMODES=eIbq,k,flj,CimnstZ PREFIX=(qaohv)~&@%+ :ok"});
    // letter, set, unset: argument taken on the typical and on the big server
    struct Row { char mode; bool typicalSet, typicalUnset, bigSet, bigUnset; };
    for (const Row row : {Row{'b', true, true, true, true}, Row{'k', true, true, true, true},
                          Row{'l', true, false, true, false}, Row{'f', false, false, true, false},
                          Row{'q', false, false, true, true}, Row{'h', false, false, true, true},
                          Row{'o', true, true, true, true}, Row{'m', false, false, false, false},
                          Row{'Z', false, false, false, false}}) {
        SCOPED_TRACE(std::string(1, row.mode));
        EXPECT_EQ(typical.TakesArgument(row.mode, true), row.typicalSet);
        EXPECT_EQ(typical.TakesArgument(row.mode, false), row.typicalUnset);
        EXPECT_EQ(big.TakesArgument(row.mode, true), row.bigSet);
        EXPECT_EQ(big.TakesArgument(row.mode, false), row.bigUnset);
    }
    std::string operators;
    for (const char symbol : std::string("~&@%+!")) if (big.IsOperatorSymbol(symbol)) operators += symbol;
    EXPECT_EQ(operators, "~&@");
    EXPECT_TRUE(big.IsOperatorMode('a'));
    EXPECT_FALSE(big.IsOperatorMode('h'));
    EXPECT_TRUE(typical.IsOperatorSymbol('~'));  // unsaid: the common owner symbol
    EXPECT_FALSE(After({":srv 005 me PREFIX=(ov)@+ :ok"}).IsOperatorSymbol('~'));
}

TEST(ServerSupportTest, ClientTagDeny) {
    struct Row { const char* deny; const char* tag; bool allowed; };
    for (const Row row : {Row{"", "typing", true}, Row{"*", "+typing", false}, Row{"*,-typing", "typing", true},
                          Row{"*,-typing", "+react", false}, Row{"typing", "+typing", false},
                          Row{"typing,react", "reply", true}}) {
        const ServerSupport support = After({(":srv 005 me CLIENTTAGDENY=" + std::string(row.deny)).c_str()});
        EXPECT_EQ(support.AllowsClientTag(row.tag), row.allowed) << row.deny << " / " << row.tag;
    }
}

}  // namespace
}  // namespace tovik
