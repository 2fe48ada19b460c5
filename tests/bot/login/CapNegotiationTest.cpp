// The capability negotiation as a server sees it: server lines in (">"), the
// exact lines the bot answers with ("<"), the failure texts and what ends up
// enabled. "> ?" is the runtime's time-out.

#include "bot/login/CapNegotiation.h"

#include <gtest/gtest.h>

#include "NegotiationScript.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;

struct NegotiationCase {
    const char* name;
    std::string account;  // empty: no login
    LinkFacts link;
    std::string script;
    std::vector<std::string> facts;  // failure texts, "account: ...", "sts: ..."
    std::string enabled;             // blank-separated, sorted
};

const LinkFacts kTls{true, false, false}, kPlain{false, false, false}, kLoopback{false, true, false};
const std::string kPlainProof = "< AUTHENTICATE dG92aWsAdG92aWsAZ2VoZWlt\n";  // "tovik\0tovik\0geheim"
const std::string kFailed = "SASL-Anmeldung als tovik fehlgeschlagen: ";

std::vector<NegotiationCase> Cases() {
    std::string endless;  // a few hundred names fit into a handful of LS lines
    for (int k = 0; k <= CapNegotiation::kMaxListLines; ++k) endless += "> :srv CAP * LS * :sasl multi-prefix\n";
    return {
        {"EndlessLs", "tovik", kTls, endless + "< CAP END\n",
         {kFailed + std::string("der Server hört mit seiner Liste der Capabilities nicht auf"_w1252)}, ""},
        {"EmptyLs", "", kPlain, "> :srv CAP * LS :\n< CAP END\n", {}, ""},
        {"MultiLineLsThenNewAndDel", "", kPlain,
         "> :srv CAP * LS * :away-notify server-time sts=port=6697,duration=300\n> :srv CAP * LS * :multi-prefix sasl\n"
         "> :srv CAP * LS :cap-notify\n< CAP REQ :multi-prefix server-time cap-notify\n"
         "> :srv CAP * ACK :multi-prefix server-time cap-notify\n< CAP END\n"
         "> :srv CAP * NEW :message-tags sts=duration=0\n< CAP REQ :message-tags\n> :srv CAP * ACK :message-tags\n"
         "> :srv CAP * DEL :server-time\n",
         {"sts: port=6697,duration=300", "sts: duration=0"}, "cap-notify message-tags multi-prefix"},
        {"PlainOverTls", "tovik", kTls,
         "> :srv CAP * LS * :multi-prefix sasl=EXTERNAL,PLAIN\n> @time=x :srv CAP * LS :away-notify\n"
         "< CAP REQ :multi-prefix sasl\n> :srv CAP * ACK :multi-prefix sasl\n< AUTHENTICATE PLAIN\n> AUTHENTICATE +\n" +
             kPlainProof + "> :srv 903 * :SASL successful\n< CAP END\n> :srv 001 tovik :Welcome\n",
         {}, "multi-prefix sasl"},
        // The combined request is asked once more without the extras.
        {"Nak", "tovik", kTls,
         "> :srv CAP * LS :sasl server-time\n< CAP REQ :server-time sasl\n> :srv CAP * NAK :server-time sasl\n"
         "< CAP REQ :sasl\n> :srv CAP * NAK :sasl\n< CAP END\n",
         {kFailed + "der Server gibt SASL nicht frei"}, ""},
        // A NEW during a multi-line LS waits for its end and joins the request.
        {"NewDuringLs", "tovik", kTls,
         "> :srv CAP * LS * :multi-prefix sasl\n> :srv CAP * NEW :message-tags\n> :srv CAP * LS :server-time\n"
         "< CAP REQ :multi-prefix message-tags server-time sasl\n"
         "> :srv CAP * ACK :multi-prefix message-tags server-time sasl\n< AUTHENTICATE PLAIN\n> AUTHENTICATE +\n" +
             kPlainProof + "> :srv 903 * :SASL successful\n< CAP END\n",
         {}, "message-tags multi-prefix sasl server-time"},
        {"AckWithoutSasl", "tovik", kTls, "> :srv CAP * LS :sasl multi-prefix\n< CAP REQ :multi-prefix sasl\n"
         "> :srv CAP * ACK :multi-prefix\n< CAP END\n", {kFailed + "der Server gibt SASL nicht frei"}, "multi-prefix"},
        {"UnsolicitedAck", "", kPlain,
         "> :srv CAP * LS :multi-prefix\n< CAP REQ :multi-prefix\n> :srv CAP * ACK :sasl message-tags\n"
         "> :srv CAP * ACK :multi-prefix\n< CAP END\n> :srv CAP * ACK :server-time\n",
         {}, "multi-prefix"},
        // Services that were away come back: the login follows, after the
        // registration and without a second CAP END.
        {"NewSaslAfterAFailedLogin", "tovik", kTls,
         "> :srv CAP * LS :sasl\n< CAP REQ :sasl\n> :srv CAP * ACK :sasl\n< AUTHENTICATE PLAIN\n"
         "> :srv 904 * :Dienste fehlen\n< CAP END\n> :srv 001 tovik :Welcome\n> :srv CAP tovik DEL :sasl\n"
         "> :srv CAP tovik NEW :sasl=PLAIN\n< CAP REQ :sasl\n> :srv CAP tovik ACK :sasl\n< AUTHENTICATE PLAIN\n"
         "> AUTHENTICATE +\n" + kPlainProof + "> :srv 900 tovik t!u@h tovik :logged in\n> :srv 903 tovik :ok\n"
         "> :srv CAP tovik NEW :sasl=PLAIN\n",
         {kFailed + "Dienste fehlen", "account: tovik"}, "sasl"},
        {"NewSaslListWhileEnabled", "tovik", kTls,
         "> :srv CAP * LS :sasl=EXTERNAL,PLAIN\n< CAP REQ :sasl\n> :srv CAP * ACK :sasl\n< AUTHENTICATE PLAIN\n"
         "> :srv 904 * :nein\n< CAP END\n> :srv CAP * NEW :sasl=PLAIN,SCRAM-SHA-256\n< AUTHENTICATE PLAIN\n"
         "> :srv 904 * :wieder nein\n",
         {kFailed + "nein", kFailed + "wieder nein"}, "sasl"},
        {"ServerWithoutCap", "tovik", kTls, "> :srv 421 * CAP :Unknown command\n> ?\n",
         {kFailed + "der Server kennt keine Capabilities"}, ""},
        {"NoAnswer", "", kTls, "> ?\n< CAP END\n> ?\n", {}, ""},
        {"NoAnswerToTheLogin", "tovik", kTls,
         "> :srv CAP * LS :sasl\n< CAP REQ :sasl\n> :srv CAP * ACK :sasl\n< AUTHENTICATE PLAIN\n> ?\n< CAP END\n",
         {kFailed + "keine Antwort des Servers"}, "sasl"},
        {"SaslWithdrawn", "tovik", kTls,
         "> :srv CAP * LS :sasl message-tags\n< CAP REQ :message-tags sasl\n> :srv CAP * ACK :message-tags sasl\n"
         "< AUTHENTICATE PLAIN\n> :srv CAP * DEL :sasl\n< CAP END\n> :srv 904 * :SASL failed\n",
         {kFailed + std::string("der Server zieht SASL zurück"_w1252)}, "message-tags"},
        {"ListOf908ThenNextMechanism", "tovik", {true, false, true},
         "> :srv CAP * LS :sasl\n< CAP REQ :sasl\n> :srv CAP * ACK :sasl\n< AUTHENTICATE EXTERNAL\n> AUTHENTICATE +\n"
         "< AUTHENTICATE +\n> :srv 908 tovik PLAIN :are available SASL mechanisms\n> :srv 904 tovik :SASL failed\n"
         "< AUTHENTICATE PLAIN\n> AUTHENTICATE +\n" + kPlainProof + "> :srv 904 tovik :Passwort f\xc3\xbcr tovik falsch\n< CAP END\n",
         {kFailed + std::string("Passwort für tovik falsch"_w1252)}, "sasl"},
        {"ServerTakesNoneOfOurs", "tovik", kTls,
         "> :srv CAP * LS :sasl=EXTERNAL multi-prefix\n< CAP REQ :multi-prefix\n> :srv CAP * ACK :multi-prefix\n< CAP END\n",
         {kFailed + "der Server nimmt PLAIN nicht an (EXTERNAL)"}, "multi-prefix"},
        {"NoSaslOffered", "tovik", kTls, "> :srv CAP * LS :multi-prefix\n< CAP REQ :multi-prefix\n"
         "> :srv CAP * ACK :multi-prefix\n< CAP END\n", {kFailed + "der Server bietet SASL nicht an"}, "multi-prefix"},
        {"PlainStaysHome", "tovik", kPlain,
         "> :srv CAP * LS :sasl message-tags\n< CAP REQ :message-tags\n> :srv CAP * ACK :message-tags\n< CAP END\n",
         {std::string("SASL-Anmeldung als tovik unterbleibt: das Passwort geht nur über TLS (Port mit \"+\" davor, etwa "
                      "+6697)"_w1252)},
         "message-tags"},
        {"PlainToALoopbackBouncer", "tovik", kLoopback,
         "> :srv CAP * LS :sasl\n< CAP REQ :sasl\n> :srv CAP * ACK :sasl\n< AUTHENTICATE PLAIN\n> AUTHENTICATE +\n" +
             kPlainProof + "> :srv 900 * * t\xc3\xb6vik :You are now logged in\n> :srv 903 * :SASL successful\n< CAP END\n",
         {"account: " + std::string("tövik"_w1252)}, "sasl"},  // the server's UTF-8, shown as the log shows it
        {"WelcomedWhileNegotiating", "tovik", kTls, "> :srv 001 tovik :Welcome\n< CAP END\n",
         {kFailed + std::string("der Server hat die Anmeldung übergangen"_w1252)}, ""},
    };
}

TEST(CapNegotiation, AnswersEachServerLineWithExactBytes) {
    for (const NegotiationCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        CapNegotiation negotiation({c.account, "geheim", "EXTERNAL PLAIN"}, c.link,  // what the factory makes
                                   [](auto name) { return PlainOrExternal(name, "tovik", "geheim"); });
        EXPECT_EQ(test::PlayNegotiation(negotiation, c.script), c.facts);
        std::string enabled;
        for (const auto& cap : negotiation.Enabled()) enabled += (enabled.empty() ? "" : " ") + cap;
        EXPECT_EQ(enabled, c.enabled);
    }
}

// An account without password or certificate: no login is tried, and the
// operator hears why.
TEST(CapNegotiation, WithoutPasswordOrCertificateNoLoginIsTried) {
    CapNegotiation negotiation({"tovik", ""}, kLoopback, [](auto n) { return PlainOrExternal(n, "tovik", ""); });
    const std::string script = "> :srv CAP * LS :sasl=PLAIN multi-prefix\n< CAP REQ :multi-prefix\n"
                               "> :srv CAP * ACK :multi-prefix\n< CAP END\n";
    EXPECT_EQ(test::PlayNegotiation(negotiation, script),
              std::vector<std::string>{std::string("SASL-Anmeldung als tovik unterbleibt: keines der Verfahren in "
                                                   "SASLMechanisms ist hier möglich"_w1252)});
}

TEST(CapNegotiation, AnEndlessChallengeIsAborted) {
    CapNegotiation negotiation({"tovik", "", "EXTERNAL"}, {true, false, true}, [](auto n) { return PlainOrExternal(n, "", ""); });
    negotiation.Begin();
    negotiation.Handle(":srv CAP * LS :sasl");
    EXPECT_EQ(negotiation.Handle(":srv CAP * ACK :sasl").send, std::vector<std::string>{"AUTHENTICATE EXTERNAL\n"});
    CapNegotiation::Outcome outcome;
    for (int k = 0; k < 42 && outcome.send.empty(); ++k) outcome = negotiation.Handle("AUTHENTICATE " + std::string(400, 'A'));
    EXPECT_EQ(outcome.send, (std::vector<std::string>{"AUTHENTICATE *\n", "CAP END\n"}));
}

}  // namespace
}  // namespace tovik
