// The capability negotiation as a server sees it: server lines in, the exact
// lines the bot answers with, the failure text and what ends up enabled.

#include "bot/CapNegotiation.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::Escaped;

struct Step {
    std::string server;  // "" stands for the start, "?" for the runtime's time-out
    std::string bot;     // everything the bot sends in answer, lines joined
};

struct NegotiationCase {
    const char* name;
    std::string account;  // empty: no login
    LinkFacts link;
    std::vector<Step> steps;
    std::vector<std::string> failures;
    std::string enabled;  // blank-separated, sorted
    std::string mechanisms = "EXTERNAL SCRAM-SHA-256 PLAIN";
};

const LinkFacts kTls{true, false, false};
const LinkFacts kPlainRemote{false, false, false};
const LinkFacts kPlainLoopback{false, true, false};
const LinkFacts kTlsCert{true, false, true};
// "tovik\0tovik\0geheim"
const std::string kPlainProof = "AUTHENTICATE dG92aWsAdG92aWsAZ2VoZWlt\n";
const std::string kFailed = "SASL-Anmeldung als tovik fehlgeschlagen: ";

std::vector<NegotiationCase> Cases() {
    return {
        {"EmptyLsEndsAtOnce", "", kPlainRemote, {{"", "CAP LS 302\n"}, {":srv CAP * LS :\r\n", "CAP END\n"}}, {}, ""},
        {"MultiLineLsAsksForWhatWasOfferedOnly",
         "",
         kPlainRemote,
         {{"", "CAP LS 302\n"},
          {":srv CAP * LS * :away-notify server-time sasl=PLAIN\r\n", ""},
          {":srv CAP * LS * :multi-prefix extended-join\r\n", ""},
          {":srv CAP * LS :cap-notify\r\n", "CAP REQ :multi-prefix server-time cap-notify\n"},
          {":srv CAP * ACK :multi-prefix server-time cap-notify\r\n", "CAP END\n"},
          {":srv CAP * NEW :message-tags sasl\r\n", "CAP REQ :message-tags\n"},
          {":srv CAP * ACK :message-tags\r\n", ""},
          {":srv CAP * DEL :server-time\r\n", ""}},
         {},
         "cap-notify message-tags multi-prefix"},
        {"PlainLoginOverTls",
         "tovik",
         kTls,
         {{"", "CAP LS 302\n"},
          {":srv CAP * LS * :multi-prefix sasl=EXTERNAL,PLAIN\r\n", ""},
          {":srv CAP * LS :away-notify\r\n", "CAP REQ :multi-prefix sasl\n"},
          {":srv CAP * ACK :multi-prefix sasl\r\n", "AUTHENTICATE PLAIN\n"},
          {"AUTHENTICATE +\r\n", kPlainProof},
          {":srv 900 * * tovik :You are now logged in as tovik\r\n", ""},
          {":srv 903 * :SASL authentication successful\r\n", "CAP END\n"},
          {":srv 001 tovik :Welcome\r\n", ""}},
         {},
         "multi-prefix sasl"},
        {"NakEndsAndNamesSasl",
         "tovik",
         kTls,
         {{"", "CAP LS 302\n"}, {":srv CAP * LS :sasl server-time\r\n", "CAP REQ :server-time sasl\n"},
          {":srv CAP * NAK :server-time sasl\r\n", "CAP END\n"}},
         {kFailed + "der Server gibt SASL nicht frei"},
         ""},
        {"NakWithoutLoginIsQuiet",
         "",
         kTls,
         {{"", "CAP LS 302\n"}, {":srv CAP * LS :server-time\r\n", "CAP REQ :server-time\n"},
          {":srv CAP * NAK :server-time\r\n", "CAP END\n"}},
         {},
         ""},
        {"ServerWithoutCap",
         "tovik",
         kTls,
         {{"", "CAP LS 302\n"}, {":srv 421 * CAP :Unknown command\r\n", ""}, {"?", ""}},
         {kFailed + "der Server kennt keine Capabilities"},
         ""},
        {"ServerWithoutCapAndNoLogin", "", kTls, {{"", "CAP LS 302\n"}, {":srv 421 * CAP :Unknown command\r\n", ""}}, {}, ""},
        {"NoAnswer", "", kTls, {{"", "CAP LS 302\n"}, {"?", "CAP END\n"}, {"?", ""}}, {}, ""},
        {"NoAnswerToTheLogin",
         "tovik",
         kTls,
         {{"", "CAP LS 302\n"}, {":srv CAP * LS :sasl\r\n", "CAP REQ :sasl\n"},
          {":srv CAP * ACK :sasl\r\n", "AUTHENTICATE PLAIN\n"}, {"?", "CAP END\n"}},
         {kFailed + "keine Antwort des Servers"},
         "sasl"},
        {"SaslWithdrawnMidExchange",
         "tovik",
         kTls,
         {{"", "CAP LS 302\n"}, {":srv CAP * LS :sasl message-tags\r\n", "CAP REQ :message-tags sasl\n"},
          {":srv CAP * ACK :message-tags sasl\r\n", "AUTHENTICATE PLAIN\n"}, {":srv CAP * DEL :sasl\r\n", "CAP END\n"},
          {":srv 904 * :SASL authentication failed\r\n", ""}},
         {kFailed + std::string("der Server zieht SASL zurück"_w1252)},
         "message-tags"},
        {"ListOf908ThenNextMechanism",
         "tovik",
         kTlsCert,
         {{"", "CAP LS 302\n"}, {":srv CAP * LS :sasl\r\n", "CAP REQ :sasl\n"},
          {":srv CAP * ACK :sasl\r\n", "AUTHENTICATE EXTERNAL\n"}, {"AUTHENTICATE +\r\n", "AUTHENTICATE +\n"},
          {":srv 908 tovik PLAIN :are available SASL mechanisms\r\n", ""},
          {":srv 904 tovik :SASL authentication failed\r\n", "AUTHENTICATE PLAIN\n"}, {"AUTHENTICATE +\r\n", kPlainProof},
          {":srv 904 tovik :SASL authentication failed\r\n", "CAP END\n"}},
         {kFailed + "SASL authentication failed"},
         "sasl"},
        {"ServerListNamesNoneOfOurs",
         "tovik",
         kTls,
         {{"", "CAP LS 302\n"}, {":srv CAP * LS :sasl=EXTERNAL multi-prefix\r\n", "CAP REQ :multi-prefix\n"},
          {":srv CAP * ACK :multi-prefix\r\n", "CAP END\n"}},
         {kFailed + "der Server nimmt PLAIN nicht an (EXTERNAL)"},
         "multi-prefix"},
        {"NoSaslOffered",
         "tovik",
         kTls,
         {{"", "CAP LS 302\n"}, {":srv CAP * LS :multi-prefix\r\n", "CAP REQ :multi-prefix\n"},
          {":srv CAP * ACK :multi-prefix\r\n", "CAP END\n"}},
         {kFailed + "der Server bietet SASL nicht an"},
         "multi-prefix"},
        {"PlainStaysHomeOnPlainTcp",
         "tovik",
         kPlainRemote,
         {{"", "CAP LS 302\n"}, {":srv CAP * LS :sasl message-tags\r\n", "CAP REQ :message-tags\n"},
          {":srv CAP * ACK :message-tags\r\n", "CAP END\n"}},
         {std::string("SASL-Anmeldung als tovik unterbleibt: das Passwort geht nur über TLS (Port mit \"+\" davor, etwa +6697)"_w1252)},
         "message-tags",
         "PLAIN"},
        {"PlainToALoopbackBouncer",
         "tovik",
         kPlainLoopback,
         {{"", "CAP LS 302\n"}, {":srv CAP * LS :sasl\r\n", "CAP REQ :sasl\n"},
          {":srv CAP * ACK :sasl\r\n", "AUTHENTICATE PLAIN\n"}, {"AUTHENTICATE +\r\n", kPlainProof},
          {":srv 903 * :SASL authentication successful\r\n", "CAP END\n"}},
         {},
         "sasl"},
        {"WelcomedWhileNegotiating",
         "tovik",
         kTls,
         {{"", "CAP LS 302\n"}, {":srv 001 tovik :Welcome\r\n", "CAP END\n"}},
         {kFailed + std::string("der Server hat die Anmeldung übergangen"_w1252)},
         ""},
    };
}

TEST(CapNegotiation, AnswersEachServerLineWithExactBytes) {
    for (const NegotiationCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        LoginSettings login{c.account, "geheim", c.mechanisms};
        CapNegotiation negotiation(login, c.link, [&](std::string_view name) {
            return PlainOrExternal(name, login.account, login.password);
        });
        std::vector<std::string> failures;
        for (const Step& step : c.steps) {
            const auto outcome = step.server.empty()   ? negotiation.Begin()
                                 : step.server == "?" ? negotiation.GiveUp()
                                                      : negotiation.Handle(step.server.substr(0, step.server.size() - 2));
            std::string sent;
            for (const auto& line : outcome.send) sent += line;
            EXPECT_EQ(Escaped(sent), Escaped(step.bot)) << "after " << Escaped(step.server);
            if (outcome.failure) failures.push_back(*outcome.failure);
            if (outcome.account) {
                EXPECT_EQ(*outcome.account, "tovik");
            }
        }
        EXPECT_EQ(failures, c.failures);
        std::string enabled;
        for (const auto& cap : negotiation.Enabled()) enabled += (enabled.empty() ? "" : " ") + cap;
        EXPECT_EQ(enabled, c.enabled);
        EXPECT_TRUE(negotiation.Finished());
    }
}

// The sts value reaches the runtime whether it came in the LS or later.
TEST(CapNegotiation, HandsOnTheStsValue) {
    CapNegotiation negotiation({}, kPlainRemote, {});
    negotiation.Begin();
    EXPECT_EQ(negotiation.Handle(":srv CAP * LS * :sts=port=6697,duration=300").sts, std::nullopt);
    const auto listed = negotiation.Handle(":srv CAP * LS :server-time");
    EXPECT_EQ(listed.sts, "port=6697,duration=300");
    EXPECT_EQ(negotiation.Handle(":srv CAP tovik NEW :sts=port=7000").sts, "port=7000");
}

}  // namespace
}  // namespace tovik
