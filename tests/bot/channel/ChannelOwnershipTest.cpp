// Whether the bot holds its command channel, from what the server says.

#include "bot/channel/ChannelOwnership.h"

#include <gtest/gtest.h>

#include "text/Literal.h"

namespace tovik {
namespace {

using namespace literals;

struct OwnershipCase {
    const char* name;
    std::vector<std::string> lines;
    bool owns;
    std::vector<std::string> told;  // texts for the operator, in order
};

std::string Told(const std::string& why) {
    return "Kommando-Channel #Tovik: " + why +
           std::string(". Bis zur nächsten Verbindung gehen keine Meldungen dorthin, und Befehle von dort gelten "
                       "nicht."_w1252);
}

const std::string kHeld = Told(std::string("er gehört schon jemand anderem"_w1252));

class ChannelOwnershipTest : public ::testing::TestWithParam<OwnershipCase> {};

TEST_P(ChannelOwnershipTest, FollowsTheServer) {
    ChannelOwnership ownership;
    ServerSupport support;
    std::vector<std::string> told;
    for (const std::string& line : GetParam().lines) {
        support.Follow(ParseMessage(line));
        const OwnershipChange change = ownership.Follow(ParseMessage(line), "#Tovik", "Bot", support);
        EXPECT_EQ(change.lost, change.text.has_value()) << line;  // the loss and its one message come together
        if (change.text) told.push_back(*change.text);
    }
    EXPECT_EQ(ownership.Owns("#tovik"), GetParam().owns);
    EXPECT_EQ(told, GetParam().told);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChannelOwnershipTest,
    ::testing::Values(
        OwnershipCase{"CreatedByTheBot",
                      {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End of /NAMES list."}, true, {}},
        OwnershipCase{"NamesOverSeveralLinesAnyCase",
                      {":srv 353 Bot @ #TOVIK :a b +c", ":srv 353 Bot @ #tovik :~bot d",
                       ":srv 366 Bot #Tovik :End"}, true, {}},
        OwnershipCase{"HeldBySomeoneElse",
                      {":srv 353 Bot = #Tovik :@Mallory Bot", ":srv 366 Bot #Tovik :End",
                       ":srv 366 Bot #Tovik :End"}, false, {kHeld}},
        OwnershipCase{"VoiceIsNotEnough",
                      {":srv 353 Bot = #Tovik :+Bot @Mallory", ":srv 366 Bot #Tovik :End"}, false, {kHeld}},
        // Whoever ops the bot after a loss may be the one who took the channel.
        OwnershipCase{"OppedLaterByServices",
                      {":srv 353 Bot = #Tovik :Bot", ":srv 366 Bot #Tovik :End",
                       ":ChanServ!s@services MODE #Tovik +vo Someone Bot"}, false, {kHeld}},
        OwnershipCase{"NothingRestoresALoss",
                      {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End", ":M!u@h KICK #Tovik Bot :weg",
                       ":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End", ":M!u@h MODE #Tovik +o Bot"},
                      false, {Told("der Bot wurde hinausgeworfen")}},
        OwnershipCase{"OwnPart", {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End", ":bot!u@h PART #x,#tovik"},
                      false, {Told("der Bot hat ihn verlassen")}},
        OwnershipCase{"OwnJoinZero", {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End", ":M!u@h PART #Tovik",
                                      ":Bot!u@h JOIN 0"}, false, {Told("der Bot hat ihn verlassen")}},
        OwnershipCase{"NamesWithoutTypeMultiPrefixAndMasks",
                      {":srv 005 Bot PREFIX=(qaohv)~&@%+ :ok", ":srv 353 Bot #Tovik :%+Mallory &+Bot!b@h",
                       ":srv 366 Bot #Tovik :End"}, true, {}},
        OwnershipCase{"ModeArgumentsByChanmodes",
                      {":srv 005 Bot CHANMODES=beI,k,lf,imnpst PREFIX=(qaohv)~&@%+ :ok",
                       ":srv 353 Bot = #Tovik :~Bot", ":srv 366 Bot #Tovik :End",
                       ":M!u@h MODE #Tovik +f-l-h [5m] Bot", ":M!u@h MODE #Tovik -a+b :Bot"},
                      false, {Told("der Bot ist dort kein Operator mehr")}},
        OwnershipCase{"DeoppedWithArgumentsBefore",
                      {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End",
                       ":M!u@h MODE #Tovik +lk-o 5 key bot"}, false, {Told("der Bot ist dort kein Operator mehr")}},
        OwnershipCase{"OtherNicksAndChannelsDoNotCount",
                      {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End", ":M!u@h MODE #Tovik -o Bob",
                       ":M!u@h MODE #other -o Bot", ":M!u@h KICK #other Bot :x"}, true, {}},
        OwnershipCase{"Kicked",
                      {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End", ":M!u@h KICK #Tovik Bot :weg"},
                      false, {Told("der Bot wurde hinausgeworfen")}},
        OwnershipCase{"Banned", {":srv 474 Bot #Tovik :Cannot join channel (+b)"}, false,
                      {Told("der Bot kann ihn nicht betreten, der Bot ist dort gebannt")}},
        OwnershipCase{"InviteOnlyThenFullSaysItOnce",
                      {":srv 473 Bot #Tovik :Cannot join channel (+i)", ":srv 471 Bot #Tovik :Cannot join (+l)"}, false,
                      {Told("der Bot kann ihn nicht betreten, nur mit Einladung")}},
        OwnershipCase{"NamesOfAnotherChannel",
                      {":srv 353 Bot = #other :@Bot", ":srv 366 Bot #other :End"}, false, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChannelOwnership, ANewConnectionStartsOverAndMayTellAgain) {
    ChannelOwnership ownership;
    const ServerSupport support;
    ownership.Follow(ParseMessage(":srv 353 Bot = #Tovik :@Bot"), "#Tovik", "Bot", support);
    ownership.Follow(ParseMessage(":srv 366 Bot #Tovik :End"), "#Tovik", "Bot", support);
    ASSERT_TRUE(ownership.Owns("#Tovik"));
    ownership.Reset();
    EXPECT_FALSE(ownership.Owns("#Tovik"));
    EXPECT_TRUE(ownership.Follow(ParseMessage(":srv 475 Bot #Tovik :Cannot join (+k)"), "#Tovik", "Bot", support).lost);
}

}  // namespace
}  // namespace tovik
