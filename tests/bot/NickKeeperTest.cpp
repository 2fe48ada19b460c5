// The nick the bot holds: refusals, variations and the take-back.

#include "bot/NickKeeper.h"

#include <gtest/gtest.h>

#include "text/Literal.h"

namespace tovik {
namespace {

struct NickCase {
    const char* name;
    std::vector<std::string> lines;  // "005 ..." lines go to the server support as well
    std::vector<std::string> out;    // one entry per line: what the keeper did
    std::string held;
    const char* configured = "Tovik";
};

// "NICK x|U" for a line of class Urgent (N: Normal), "register", "told: ...",
// "give up", "check" while the ISON check should run; joined by blanks.
std::string Describe(const NickKeeper::Outcome& outcome) {
    std::string text;
    const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : " ") + part; };
    for (const auto& [line, lineClass] : outcome.send)
        add(line.substr(0, line.size() - 1) + (lineClass == LineClass::Urgent ? "|U" : "|N"));
    if (outcome.registerAgain) add("register");
    if (outcome.told) add("told: " + *outcome.told);
    if (outcome.giveUp) add("give up");
    if (outcome.checkTimer) add("check");
    return text;
}

class NickKeeperTest : public ::testing::TestWithParam<NickCase> {};

TEST_P(NickKeeperTest, FollowsTheServer) {
    NickKeeper keeper;
    ServerSupport support;
    std::vector<std::string> out;
    for (const std::string& line : GetParam().lines) {
        const IrcMessage message = ParseMessage(line);
        support.Follow(message);
        out.push_back(Describe(keeper.Follow(message, GetParam().configured, support)));
    }
    EXPECT_EQ(out, GetParam().out);
    EXPECT_EQ(keeper.Held(), GetParam().held);
}

// Each refusal names the nick asked for last: registration twice, then the variations.
std::vector<std::string> Refusals() {
    std::vector<std::string> lines;
    for (const char* nick : {"Tovik", "Tovik", "Tovik_", "Tovik2", "Tovik3", "Tovik4", "Tovik5", "Tovik6", "Tovik7",
                             "Tovik8", "Tovik9", "Tovik9"})
        lines.push_back(":srv 433 * " + std::string(nick) + " :Nickname is already in use");
    return lines;
}

std::vector<std::string> Variations() {
    std::vector<std::string> out{"register", "NICK Tovik_|U"};
    for (int k = 2; k <= 9; ++k) out.push_back("NICK Tovik" + std::to_string(k) + "|N");
    out.push_back("told: Nick Tovik und alle Varianten sind vergeben. Neuer Versuch mit der n\xe4" "chsten "
                  "Verbindung. give up");
    out.push_back("");  // told once
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NickKeeperTest,
    ::testing::Values(
        NickCase{"NineVariationsThenGiveUp", Refusals(), Variations(), ""},
        NickCase{"CutToNicklen",
                 {":srv 005 * NICKLEN=5 :ok", ":srv 433 * Tovik :in use", ":srv 433 * Tovik :in use",
                  ":srv 433 * Tovi_ :in use"},
                 {"", "register", "NICK Tovi_|U", "NICK Tovi2|N"}, ""},
        NickCase{"NeverTheRefusedOrConfiguredNick",
                 {":srv 005 * NICKLEN=6 :ok", ":srv 433 * Tovik2 :in use", ":srv 433 * Tovik2 :in use",
                  ":srv 433 * Tovik_ :in use"},
                 {"", "register", "NICK Tovik_|U", "NICK Tovik3|N"}, "", "Tovik2"},
        NickCase{"ACutShownByTheRefusal",
                 {":srv 433 * Tovik :in use", ":srv 433 * Tovik :in use", ":srv 433 * Tovi :in use"},
                 {"register", "NICK Tovik_|U", "NICK Tov2|N"}, ""},
        NickCase{"Erroneous",
                 {":srv 432 * Tovik :Erroneous Nickname", ":srv 432 * Tovik :again"},
                 {"told: Nick Tovik abgelehnt: Erroneous Nickname. Neuer Versuch mit der n\xe4" "chsten Verbindung."
                  " give up", ""}, ""},
        NickCase{"HeldNickFollowsBothNickForms",
                 {":srv 001 Tovik_ :Welcome", ":Tovik_!u@h NICK Other", ":other!u@h NICK :Third",
                  ":x!u@h NICK Fourth"},
                 {"check", "check", "check", "check"}, "Third"},
        NickCase{"TakeBackWhenTheHolderQuitsOrChanges",
                 {":srv 001 Tovik_ :Welcome", ":TOVIK!u@h NICK tovik", ":TOVIK!u@h NICK away",
                  ":Tovik!u@h QUIT :bye", ":Tovik_!u@h NICK :Tovik", ":Tovik!u@h QUIT :x"},
                 {"check", "check", "NICK Tovik|N check", "NICK Tovik|N check", "", ""}, "Tovik"},
        NickCase{"IsonRepliesInBothForms",
                 {":srv 001 Tovik_ :Welcome", ":srv 303 Tovik_ :Anna Tovik", ":srv 303 Tovik_ tovik",
                  ":srv 303 Tovik_ Anna", ":srv 303 Tovik_ :", ":srv 303 Tovik_"},
                 {"check", "check", "check", "NICK Tovik|N check", "NICK Tovik|N check", "NICK Tovik|N check"},
                 "Tovik_"},
        NickCase{"RefusedChangesStopTheTakeBack",
                 {":srv 001 Tovik_ :Welcome", ":srv 447 Tovik_ :Cannot change nickname", ":Tovik!u@h QUIT :x"},
                 {"check", "", ""}, "Tovik_"},
        NickCase{"Rfc1459Mapping", {":srv 001 {tovik} :Welcome"}, {""}, "{tovik}", "[Tovik]"},
        NickCase{"AsciiMapping",
                 {":srv 005 * CASEMAPPING=ascii :ok", ":srv 001 {tovik} :Welcome", ":srv 303 {tovik} :[TOVIK]"},
                 {"", "check", "check"}, "{tovik}", "[Tovik]"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tovik
