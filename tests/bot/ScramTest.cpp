// SCRAM-SHA-256 as RFC 7677 section 3 shows it, and the login through the
// capability negotiation with a server whose signature is wrong or missing.

#include "bot/Scram.h"

#include <gtest/gtest.h>

#include "NegotiationScript.h"

namespace tovik {
namespace {

const std::string kNonce = "rOprNGfwEbeRWgbNEkqO";
const std::string kServerFirst = "r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096";
const std::string kClientFinal =
    "c=biws,r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,p=dHzbZapWIk4jUhN+Ute9ytag9zjfMHgsqmmiz7AndVQ=";
const std::string kServerFinal = "v=6rriTRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G4=";

TEST(ScramSha256, FollowsTheRfc7677TestVectorAndEscapesNames) {
    ScramSha256 scram("user", "pencil", kNonce);
    EXPECT_EQ(scram.Respond("").response, "n,,n=user,r=" + kNonce);
    EXPECT_EQ(scram.Respond(kServerFirst).response, kClientFinal);
    EXPECT_FALSE(scram.ServerVerified());
    EXPECT_EQ(scram.Respond(kServerFinal).reason, std::nullopt);
    EXPECT_TRUE(scram.ServerVerified());
    EXPECT_EQ(ScramSha256("J\xfcr=gen,", "x", "abc").Respond("").response, "n,,n=J\xc3\xbcr=3Dgen=2C,r=abc");
    const std::string nonce = ScramSha256::RandomNonce();
    EXPECT_EQ(nonce.size(), 32u);
    EXPECT_NE(nonce, ScramSha256::RandomNonce());
}

TEST(ScramSha256, RefusesAServerFirstMessageThatIsNotOurs) {
    const std::string salt = ",s=W22ZaJ0SNY7soEsUEjb6gQ==";
    for (const std::string& serverFirst :
         {"r=someoneElse123" + salt + ",i=4096", "r=" + kNonce + salt + ",i=4096", "r=" + kNonce + "x" + salt,
          "r=" + kNonce + "x" + salt + ",i=0", "m=ext,r=" + kNonce + "x" + salt + ",i=4096",
          "r=" + kNonce + "x" + salt + ",i=99999999"}) {
        ScramSha256 scram("user", "pencil", kNonce);
        scram.Respond("");
        EXPECT_TRUE(scram.Respond(serverFirst).reason.has_value()) << serverFirst;
    }
}

// The exact bytes of a SCRAM login, and the end of one whose server cannot
// prove that it knows the password.
TEST(ScramSha256, ThroughTheNegotiationASignatureThatFailsAborts) {
    const std::string failed = "SASL-Anmeldung als user fehlgeschlagen: ";
    const std::string unproved = failed + "der Server hat sich nicht als Kenner des Passworts ausgewiesen";
    const std::string start = "> :srv CAP * LS :sasl=SCRAM-SHA-256,PLAIN\n< CAP REQ :sasl\n> :srv CAP * ACK :sasl\n"
                              "< AUTHENTICATE SCRAM-SHA-256\n> AUTHENTICATE +\n< AUTHENTICATE " +
                              Base64("n,,n=user,r=" + kNonce) + "\n> AUTHENTICATE " + Base64(kServerFirst) +
                              "\n< AUTHENTICATE " + Base64(kClientFinal) + "\n";
    const std::string aborted = "< AUTHENTICATE *\n< CAP END\n";
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {"> AUTHENTICATE " + Base64(kServerFinal) + "\n< AUTHENTICATE +\n> :srv 903 * :SASL successful\n< CAP END\n", {}},
        {"> AUTHENTICATE " + Base64("v=" + Base64(std::string(32, 'x'))) + "\n" + aborted + "> :srv 906 * :aborted\n",
         {unproved}},
        {"> AUTHENTICATE " + Base64("x=1") + "\n" + aborted, {unproved}},
        {"> :srv 903 * :SASL successful\n< CAP END\n", {unproved}},
        {"> AUTHENTICATE " + Base64("e=invalid-proof") + "\n" + aborted, {failed + "der Server lehnt ab (invalid-proof)"}},
    };
    for (const auto& [tail, failures] : cases) {
        SCOPED_TRACE(tail);
        CapNegotiation negotiation({"user", "pencil", "SCRAM-SHA-256 PLAIN"}, LinkFacts{}, [](std::string_view name) {
            return name == "SCRAM-SHA-256" ? std::make_unique<ScramSha256>("user", "pencil", kNonce) : nullptr;
        });
        EXPECT_EQ(test::PlayNegotiation(negotiation, start + tail), failures);
    }
}

}  // namespace
}  // namespace tovik
