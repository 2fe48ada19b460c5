// SCRAM-SHA-256 as RFC 7677 section 3 shows it, and the login through the
// capability negotiation with a server whose signature is wrong or missing.

#include "bot/Scram.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "bot/CapNegotiation.h"

namespace tovik {
namespace {

using test::Escaped;

const std::string kNonce = "rOprNGfwEbeRWgbNEkqO";
const std::string kServerFirst = "r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096";
const std::string kClientFinal =
    "c=biws,r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,p=dHzbZapWIk4jUhN+Ute9ytag9zjfMHgsqmmiz7AndVQ=";
const std::string kServerFinal = "v=6rriTRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G4=";

TEST(ScramSha256, FollowsTheRfc7677TestVector) {
    ScramSha256 scram("user", "pencil", kNonce);
    EXPECT_EQ(scram.Respond("").response, "n,,n=user,r=" + kNonce);
    EXPECT_EQ(scram.Respond(kServerFirst).response, kClientFinal);
    EXPECT_FALSE(scram.ServerVerified());
    const auto last = scram.Respond(kServerFinal);
    EXPECT_EQ(last.reason, std::nullopt);
    EXPECT_EQ(last.response, "");
    EXPECT_TRUE(scram.ServerVerified());
}

TEST(ScramSha256, NamesAreEscapedAndGoOutAsUtf8) {
    ScramSha256 scram("J\xfcr=gen,", "x", "abc");
    EXPECT_EQ(scram.Respond("").response, "n,,n=J\xc3\xbcr=3Dgen=2C,r=abc");
}

TEST(ScramSha256, RefusesAServerFirstMessageThatIsNotOurs) {
    for (const std::string& serverFirst :
         {std::string("r=someoneElse123,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096"), "r=" + kNonce + ",s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096",
          "r=" + kNonce + "x,s=W22ZaJ0SNY7soEsUEjb6gQ==", "r=" + kNonce + "x,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=0",
          "m=ext,r=" + kNonce + "x,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096", "r=" + kNonce + "x,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=99999999"}) {
        ScramSha256 scram("user", "pencil", kNonce);
        scram.Respond("");
        EXPECT_TRUE(scram.Respond(serverFirst).reason.has_value()) << serverFirst;
    }
}

std::string Line(const std::string& message) {
    return "AUTHENTICATE " + (message.empty() ? std::string("+") : Base64(message)) + "\n";
}

// The exact bytes of a SCRAM login, and the end of one whose server cannot
// prove that it knows the password.
TEST(ScramSha256, ThroughTheNegotiationASignatureThatFailsAborts) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> tail;  // after the client-final: server line, bot's answer
        std::optional<std::string> failure;
    };
    const std::string failed = "SASL-Anmeldung als user fehlgeschlagen: ";
    const std::string unproved = failed + "der Server hat sich nicht als Kenner des Passworts ausgewiesen";
    const std::vector<Case> cases{
        {"Proved",
         {{"AUTHENTICATE " + Base64(kServerFinal), "AUTHENTICATE +\n"}, {":srv 903 * :SASL authentication successful", "CAP END\n"}},
         std::nullopt},
        {"WrongSignature",
         {{"AUTHENTICATE " + Base64("v=" + Base64(std::string(32, 'x'))), "AUTHENTICATE *\nCAP END\n"},
          {":srv 906 * :SASL authentication aborted", ""}},
         unproved},
        {"NoSignature", {{"AUTHENTICATE " + Base64("x=1"), "AUTHENTICATE *\nCAP END\n"}}, unproved},
        {"SuccessWithoutProof", {{":srv 903 * :SASL authentication successful", "CAP END\n"}}, unproved},
        {"ServerRefuses", {{"AUTHENTICATE " + Base64("e=invalid-proof"), "AUTHENTICATE *\nCAP END\n"}},
         failed + "der Server lehnt ab (invalid-proof)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CapNegotiation negotiation({"user", "pencil", "SCRAM-SHA-256 PLAIN"}, LinkFacts{}, [](std::string_view name) {
            return name == "SCRAM-SHA-256" ? std::make_unique<ScramSha256>("user", "pencil", kNonce) : nullptr;
        });
        std::vector<std::pair<std::string, std::string>> steps{
            {":srv CAP * LS :sasl=SCRAM-SHA-256,PLAIN", "CAP REQ :sasl\n"},
            {":srv CAP * ACK :sasl", "AUTHENTICATE SCRAM-SHA-256\n"},
            {"AUTHENTICATE +", Line("n,,n=user,r=" + kNonce)},
            {"AUTHENTICATE " + Base64(kServerFirst), Line(kClientFinal)}};
        steps.insert(steps.end(), c.tail.begin(), c.tail.end());
        std::optional<std::string> failure;
        EXPECT_EQ(negotiation.Begin().send, std::vector<std::string>{"CAP LS 302\n"});
        for (const auto& [server, bot] : steps) {
            const auto outcome = negotiation.Handle(server);
            std::string sent;
            for (const auto& line : outcome.send) sent += line;
            EXPECT_EQ(Escaped(sent), Escaped(bot)) << "after " << server;
            if (outcome.failure) failure = outcome.failure;
        }
        EXPECT_EQ(failure, c.failure);
        EXPECT_TRUE(negotiation.Finished());
    }
}

TEST(ScramSha256, NoncesDiffer) {
    const std::string a = ScramSha256::RandomNonce();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_NE(a, ScramSha256::RandomNonce());
    EXPECT_EQ(a.find(','), std::string::npos);
}

}  // namespace
}  // namespace tovik
