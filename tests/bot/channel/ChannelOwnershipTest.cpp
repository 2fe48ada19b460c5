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
        if (const auto text = ownership.Follow(ParseMessage(line), "#Tovik", "Bot", support)) told.push_back(*text);
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
                      {":srv 353 Bot @ #TOVIK :", ":srv 353 Bot @ #tovik :~bot", ":srv 366 Bot #Tovik :End"}, true, {}},
        // Anyone there when the bot comes in was there first.
        OwnershipCase{"OpButNotAlone", {":srv 353 Bot = #Tovik :@Bot anna", ":srv 366 Bot #Tovik :End"}, false, {kHeld}},
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
                      {":srv 005 Bot PREFIX=(qaohv)~&@%+ :ok", ":srv 353 Bot #Tovik :&+Bot!b@h",
                       ":srv 366 Bot #Tovik :End"}, true, {}},
        OwnershipCase{"ModeArgumentsByChanmodes",
                      {":srv 005 Bot CHANMODES=beI,k,lf,imnpst PREFIX=(qaohv)~&@%+ :ok",
                       ":srv 353 Bot = #Tovik :~Bot", ":srv 366 Bot #Tovik :End",
                       ":M!u@h MODE #Tovik +f-l-h [5m] Bot", ":M!u@h MODE #Tovik -a+b :Bot"},
                      false, {Told("der Bot ist dort kein Operator mehr")}},
        OwnershipCase{"DeoppedWithArgumentsBefore",
                      {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End",
                       ":M!u@h MODE #Tovik +lb-o 5 *!*@x bot"}, false, {Told("der Bot ist dort kein Operator mehr")}},
        OwnershipCase{"OtherNicksAndChannelsDoNotCount",
                      {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End", ":M!u@h MODE #Tovik -o Bob",
                       ":M!u@h MODE #other -o Bot", ":M!u@h KICK #other Bot :x"}, true, {}},
        OwnershipCase{"Kicked",
                      {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End", ":M!u@h KICK #Tovik Bot :weg"},
                      false, {Told("der Bot wurde hinausgeworfen")}},
        OwnershipCase{"Banned", {":srv 474 Bot #Tovik :Cannot join channel (+b)"}, false,
                      {Told("der Bot kann ihn nicht betreten, der Bot ist dort gebannt (Cannot join channel (+b))")}},
        OwnershipCase{"InviteOnlyThenFullSaysItOnce",
                      {":srv 473 Bot #Tovik", ":srv 471 Bot #Tovik :Cannot join (+l)"}, false,
                      {Told("der Bot kann ihn nicht betreten, nur mit Einladung")}},
        // The door: only those the bot asks in, only the bot's own modes.
        OwnershipCase{"TheBotsOwnLockAndInvitees",
                      {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End", ":Bot!u@h MODE #Tovik +msi",
                       ":srv 341 Bot Carol #tovik", ":Carol!c@h JOIN :#Tovik", ":Bot!u@h MODE #Tovik +v carol",
                       ":Carol!c@h QUIT :split", ":Carol!c@h JOIN #Tovik", ":anna!a@h QUIT :x"}, true, {}},
        OwnershipCase{"AnUninvitedJoin", {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End",
                                          ":srv 341 Bot Carol #other", ":Carol!c@h JOIN #Tovik"},
                      false, {Told("Carol ist ohne Einladung hereingekommen")}},
        OwnershipCase{"AnOperOpensTheLock", {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End",
                                             ":oper!o@h MODE #Tovik -i", ":M!u@h JOIN #Tovik"},
                      false, {Told(std::string("oper hat dort die Modi geändert (-i)"_w1252))}},
        OwnershipCase{"SomeoneElseGivesOp", {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End",
                                             ":ChanServ!s@services MODE #Tovik +o Mallory"},
                      false, {Told("ChanServ hat Mallory dort den Status +o gegeben")}},
        OwnershipCase{"Registered", {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End",
                                     ":services.example MODE #Tovik +r"},
                      false, {Told("er ist bei den Services registriert (+r)")}},
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
    EXPECT_TRUE(ownership.Follow(ParseMessage(":srv 475 Bot #Tovik :Cannot join (+k)"), "#Tovik", "Bot", support));
}

// Every refusal of the JOIN is told, with the server's reason as the log
// shows it; a forward (470) names the channel asked for first.
TEST(ChannelOwnership, EveryJoinRefusalIsToldWithTheServersReason) {
    const ServerSupport support;
    for (const auto& [line, why] : std::vector<std::pair<std::string, std::string>>{
             {":srv 403 Bot #Tovik :No such channel", "den Channel gibt es nicht (No such channel)"},
             {":srv 405 Bot #Tovik :Too many", "der Bot ist schon in zu vielen Channels (Too many)"},
             {":srv 470 Bot #Tovik #tovik2 :Forwarding", "der Server leitet ihn auf einen anderen Channel um (Forwarding)"},
             {":srv 477 Bot #Tovik :R\xc3\xbc" "ckfrage", std::string("nur für angemeldete Nicks (Rückfrage)"_w1252)},
             {":srv 489 Bot #Tovik :SSL only", std::string("nur über TLS (SSL only)"_w1252)}}) {
        ChannelOwnership ownership;
        EXPECT_EQ(ownership.Follow(ParseMessage(line), "#Tovik", "Bot", support),
                  Told("der Bot kann ihn nicht betreten, " + why)) << line;
    }
}

// Once held, the channel is followed wherever the profile points later.
TEST(ChannelOwnership, TheHeldChannelIsFollowedWhateverTheProfileNamesLater) {
    ChannelOwnership ownership;
    const ServerSupport support;
    for (const char* line : {":srv 353 Bot = #Tovik :@Bot", ":srv 366 Bot #Tovik :End"})
        ownership.Follow(ParseMessage(line), "#Tovik", "Bot", support);
    EXPECT_FALSE(ownership.Follow(ParseMessage(":srv 366 Bot #Neu :End"), "#Neu", "Bot", support));
    EXPECT_FALSE(ownership.Owns("#Neu"));
    EXPECT_EQ(ownership.Follow(ParseMessage(":M!u@h MODE #Tovik -o Bot"), "#Neu", "Bot", support),
              Told("der Bot ist dort kein Operator mehr"));
}

}  // namespace
}  // namespace tovik
