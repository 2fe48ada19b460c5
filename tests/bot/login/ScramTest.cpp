// SCRAM-SHA-256 as RFC 7677 section 3 shows it, and the login through the
// capability negotiation with a server whose signature is wrong or missing.

#include "bot/login/Scram.h"

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
    EXPECT_NE(ScramSha256::RandomNonce(), ScramSha256::RandomNonce());
}

// The exact bytes of a SCRAM login, and the end of one with a server that
// answers someone else or cannot prove that it knows the password.
TEST(ScramSha256, ThroughTheNegotiationAServerThatFailsIsAborted) {
    const std::string failed = "SASL-Anmeldung als user fehlgeschlagen: ";
    const std::string unproved = failed + "der Server hat sich nicht als Kenner des Passworts ausgewiesen";
    const std::string notScram = failed + "der Server antwortet nicht nach SCRAM-SHA-256";
    const std::string start = "> :srv CAP * LS :sasl=SCRAM-SHA-256,PLAIN\n< CAP REQ :sasl\n> :srv CAP * ACK :sasl\n"
                              "< AUTHENTICATE SCRAM-SHA-256\n> AUTHENTICATE +\n< AUTHENTICATE " +
                              Base64("n,,n=user,r=" + kNonce) + "\n";
    const std::string proof = "> AUTHENTICATE " + Base64(kServerFirst) + "\n< AUTHENTICATE " + Base64(kClientFinal) + "\n";
    auto refused = [](const std::string& server) { return "> AUTHENTICATE " + Base64(server) + "\n< AUTHENTICATE *\n< CAP END\n"; };
    const std::string salt = ",s=W22ZaJ0SNY7soEsUEjb6gQ==", ours = "r=" + kNonce;
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {proof + "> AUTHENTICATE " + Base64(kServerFinal) + "\n< AUTHENTICATE +\n> :srv 903 * :SASL successful\n< CAP END\n", {}},
        {proof + refused("v=" + Base64(std::string(32, 'x'))) + "> :srv 906 * :aborted\n", {unproved}},
        {proof + refused("x=1"), {unproved}},
        {proof + "> :srv 903 * :SASL successful\n< CAP END\n", {unproved}},
        {proof + refused("e=invalid-proof"), {failed + "der Server lehnt ab (invalid-proof)"}},
        {refused("r=someoneElse123" + salt + ",i=4096"), {notScram}}, {refused(ours + salt + ",i=4096"), {notScram}},
        {refused(ours + "x" + salt), {notScram}}, {refused(ours + "x" + salt + ",i=0"), {notScram}},
        {refused("m=ext," + ours + "x" + salt + ",i=4096"), {notScram}},
        {refused(ours + "x" + salt + ",i=99999999"), {failed + "der Server verlangt zu viele Runden (i=99999999)"}},
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
