// The nick the bot holds: refusals, variations and the take-back.

#include "bot/session/NickKeeper.h"

#include <gtest/gtest.h>

#include "text/Literal.h"

namespace tovik {
namespace {

using namespace literals;

const std::string kAgain(". Neuer Versuch mit der nächsten Verbindung."_w1252);

struct NickCase {
    const char* name;
    std::vector<std::string> lines;  // 005 lines reach the server support too
    std::string out;                 // what the keeper did on each line, joined by " | "
    std::string held;
    const char* configured = "Tovik";
};

// "NICK x/U" for an Urgent line (N: Normal), "register", the text told, "give up", "check".
std::string Describe(const NickKeeper::Outcome& outcome) {
    std::string text;
    for (const auto& [line, lineClass] : outcome.send)
        text += line.substr(0, line.size() - 1) + (lineClass == LineClass::Urgent ? "/U " : "/N ");
    text += std::string(outcome.registerAgain ? "register " : "") + outcome.told.value_or("") +
            (outcome.giveUp ? " give up " : "") + (outcome.checkTimer ? "check" : "");
    return text;
}

class NickKeeperTest : public ::testing::TestWithParam<NickCase> {};

TEST_P(NickKeeperTest, FollowsTheServer) {
    NickKeeper keeper;
    ServerSupport support;
    std::string out;
    for (const std::string& line : GetParam().lines) {
        support.Follow(ParseMessage(line));
        out += (&line == &GetParam().lines[0] ? "" : " | ") +
               Describe(keeper.Follow(ParseMessage(line), GetParam().configured, support));
    }
    EXPECT_EQ(out, GetParam().out);
    EXPECT_EQ(keeper.Held(), GetParam().held);
}

std::vector<std::string> Refusals() {  // each names the nick asked for last
    std::vector<std::string> lines{":srv 433 * Tovik :x", ":srv 433 * Tovik :x", ":srv 433 * Tovik_ :x"};
    for (int k = 2; k <= 10; ++k) lines.push_back(":srv 433 * Tovik" + std::to_string(std::min(k, 9)) + " :x");
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NickKeeperTest,
    ::testing::Values(
        NickCase{"NineVariationsThenGiveUpOnce", Refusals(),
                 "register  | NICK Tovik_/U  | NICK Tovik2/N  | NICK Tovik3/N  | NICK Tovik4/N  | NICK Tovik5/N  | "
                 "NICK Tovik6/N  | NICK Tovik7/N  | NICK Tovik8/N  | NICK Tovik9/N  | Nick Tovik und alle Varianten "
                 "sind vergeben" + kAgain + " give up  | ", ""},
        NickCase{"CutToNicklen",
                 {":srv 005 * NICKLEN=5 :ok", ":srv 433 * Tovik :x", ":srv 433 * Tovik :x", ":srv 433 * Tovi_ :x"},
                 " | register  | NICK Tovi_/U  | NICK Tovi2/N ", ""},
        NickCase{"ACutShownByTheRefusal", {":srv 433 * Tovik :x", ":srv 433 * Tovik :x", ":srv 433 * Tovi :x"},
                 "register  | NICK Tovik_/U  | NICK Tov2/N ", ""},
        NickCase{"NeverTheRefusedOrConfiguredNick",
                 {":srv 005 * NICKLEN=6 :ok", ":srv 433 * Tovik2 :x", ":srv 433 * Tovik2 :x", ":srv 433 * Tovik_ :x"},
                 " | register  | NICK Tovik_/U  | NICK Tovik3/N ", "", "Tovik2"},
        NickCase{"Erroneous", {":srv 432 * Tovik :Erroneous Nickname", ":srv 432 * Tovik :again"},
                 "Nick Tovik abgelehnt: Erroneous Nickname" + kAgain + " give up  | ", ""},
        NickCase{"HeldNickFollowsBothNickForms",
                 {":srv 001 Tovik_ :Hi", ":Tovik_!u@h NICK Other", ":other!u@h NICK :Third", ":x!u@h NICK Fourth"},
                 "check | check | check | check", "Third"},
        NickCase{"TakeBackWhenTheHolderQuitsOrChanges",
                 {":srv 001 Tovik_ :Hi", ":TOVIK!u@h NICK tovik", ":TOVIK!u@h NICK away", ":Tovik!u@h QUIT :bye",
                  ":Tovik_!u@h NICK :Tovik", ":Tovik!u@h QUIT :x"},
                 "check | check | NICK Tovik/N check | NICK Tovik/N check |  | ", "Tovik"},
        NickCase{"IsonRepliesInBothForms",
                 {":srv 001 Tovik_ :Hi", ":srv 303 Tovik_ :Anna Tovik", ":srv 303 Tovik_ tovik", ":srv 303 Tovik_ Anna",
                  ":srv 303 Tovik_ :", ":srv 303 Tovik_"},
                 "check | check | check | NICK Tovik/N check | NICK Tovik/N check | NICK Tovik/N check", "Tovik_"},
        NickCase{"RefusedChangesStopTheTakeBack",
                 {":srv 001 Tovik_ :Hi", ":srv 447 Tovik_ :Cannot change nickname", ":Tovik!u@h QUIT :x"},
                 "check |  | ", "Tovik_"},
        // Only the first welcome says who the bot is, and only when it names someone.
        NickCase{"ALaterWelcomeChangesNothing",
                 {":srv 001 Tovik_ :Hi", ":srv 001 :x", ":srv 001 Other :x", ":srv 433 * Tovik :x", ":srv 432 * Tovik :x"},
                 "check | check | check | check | ", "Tovik_"},
        NickCase{"AWelcomeWithoutTarget", {":srv 001 :Welcome", ":srv 433 * Tovik :x", ":srv 001 Tovik_ :x"},
                 " |  | ", ""},
        NickCase{"AnErroneousVariationGetsTheNext",
                 {":srv 433 * Tovik :x", ":srv 433 * Tovik :x", ":srv 432 * Tovik_ :Erroneous", ":srv 432 * Tovi2 :x"},
                 "register  | NICK Tovik_/U  | NICK Tovi2/N  | NICK Tovi3/N ", ""},
        NickCase{"A437ForAChannelKeepsTheTakeBack",
                 {":srv 001 Tovik_ :Hi", ":srv 437 Tovik_ #chan :Channel is temporarily unavailable", ":Tovik!u@h QUIT :x"},
                 "check | check | NICK Tovik/N check", "Tovik_"},
        NickCase{"AsciiMapping",
                 {":srv 005 * CASEMAPPING=ascii :ok", ":srv 001 {tovik} :Hi", ":srv 303 {tovik} :[TOVIK]"},
                 " | check | check", "{tovik}", "[Tovik]"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tovik
