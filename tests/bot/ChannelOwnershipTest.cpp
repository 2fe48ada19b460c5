// Whether the bot holds its command channel, from what the server says.

#include "bot/ChannelOwnership.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

struct OwnershipCase {
    const char* name;
    std::vector<std::string> lines;
    bool owns;
    std::vector<std::string> told;  // texts for the operator, in order
};

const std::string kHeld =
    "Kommando-Channel #Tovik: er geh\xf6rt schon jemand anderem. Bis zur n\xe4" "chsten Verbindung gehen keine "
    "Meldungen dorthin, und Befehle von dort gelten nicht.";

std::string Told(const std::string& why) {
    return "Kommando-Channel #Tovik: " + why +
           ". Bis zur n\xe4" "chsten Verbindung gehen keine Meldungen dorthin, und Befehle von dort gelten nicht.";
}

class ChannelOwnershipTest : public ::testing::TestWithParam<OwnershipCase> {};

TEST_P(ChannelOwnershipTest, FollowsTheServer) {
    ChannelOwnership ownership;
    std::vector<std::string> told;
    for (const std::string& line : GetParam().lines)
        if (auto text = ownership.Follow(line, "#Tovik", "Bot")) told.push_back(*text);
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
        OwnershipCase{"OppedLaterByServices",
                      {":srv 353 Bot = #Tovik :Bot", ":srv 366 Bot #Tovik :End",
                       ":ChanServ!s@services MODE #Tovik +vo Someone Bot"}, true, {kHeld}},
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
    ownership.Follow(":srv 353 Bot = #Tovik :@Bot", "#Tovik", "Bot");
    ownership.Follow(":srv 366 Bot #Tovik :End", "#Tovik", "Bot");
    ASSERT_TRUE(ownership.Owns("#Tovik"));
    ownership.Reset();
    EXPECT_FALSE(ownership.Owns("#Tovik"));
    EXPECT_TRUE(ownership.Follow(":srv 475 Bot #Tovik :Cannot join (+k)", "#Tovik", "Bot").has_value());
}

}  // namespace
}  // namespace tovik
