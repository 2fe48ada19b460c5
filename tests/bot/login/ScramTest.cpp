// SCRAM-SHA-256 as RFC 7677 section 3 shows it, and the login through the
// capability negotiation with a server whose signature is wrong or missing,
// or whose rounds are too few or too many.

#include "bot/login/Scram.h"

#include <gtest/gtest.h>

#include "NegotiationScript.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;

const std::string kNonce = "rOprNGfwEbeRWgbNEkqO";
const std::string kServerFirst = "r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096";
const std::string kClientFinal =
    "c=biws,r=rOprNGfwEbeRWgbNEkqO%hvYDpWUa2RaTCAfuxFIlj)hNlF$k0,p=dHzbZapWIk4jUhN+Ute9ytag9zjfMHgsqmmiz7AndVQ=";
const std::string kServerFinal = "v=6rriTRBi23WpRR/wtup+mMhUZUn/dB5nLTJRsjl95G4=";

// Soft hyphens vanish in SASLprep, so the RFC's account comes out of these;
// the slow step (the key) is handed out to be computed apart.
TEST(ScramSha256, FollowsTheRfc7677TestVectorAfterSaslPrepAndEscapesNames) {
    ScramSha256 scram("u\xadser", "pen\xad" "cil", kNonce);
    EXPECT_EQ(scram.Respond("").response, "n,,n=user,r=" + kNonce);
    EXPECT_EQ(scram.Resume(scram.Respond(kServerFirst).work()).response, kClientFinal);
    EXPECT_FALSE(scram.ServerVerified());
    EXPECT_EQ(scram.Respond(kServerFinal).reason, std::nullopt);
    EXPECT_TRUE(scram.ServerVerified());
    EXPECT_EQ(ScramSha256("J\xfcr=gen,", "x", "abc").Respond("").response, "n,,n=J\xc3\xbcr=3Dgen=2C,r=abc");
    EXPECT_NE(ScramSha256::RandomNonce(), ScramSha256::RandomNonce());
}

CapNegotiation Negotiation(const std::string& password, const std::string& mechanisms, LinkFacts link = {true, false, false}) {
    return CapNegotiation({"user", password, mechanisms}, link, [password](std::string_view name) {
        return name == "SCRAM-SHA-256" ? std::make_unique<ScramSha256>("user", password, kNonce)
                                       : PlainOrExternal(name, "user", password);
    });
}

// The exact bytes of a SCRAM login, and the end of one with a server that
// answers someone else, cannot prove that it knows the password (the
// account it names is not shown then), or names rounds outside the bounds:
// too few hand a guessable proof to whoever poses as the server, too many
// burn the bot's time at the server's word.
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
        {proof + "> AUTHENTICATE " + Base64(kServerFinal) + "\n< AUTHENTICATE +\n> :srv 900 * * user :in\n"
                 "> :srv 903 * :SASL successful\n< CAP END\n", {"account: user"}},
        {proof + refused("v=" + Base64(std::string(32, 'x'))) + "> :srv 906 * :aborted\n", {unproved}},
        {proof + refused("x=1"), {unproved}},
        {proof + "> :srv 900 * * user :in\n> :srv 903 * :SASL successful\n< CAP END\n", {unproved}},
        {proof + refused("e=invalid-proof"), {failed + "der Server lehnt ab (invalid-proof)"}},
        {refused("r=someoneElse123" + salt + ",i=4096"), {notScram}}, {refused(ours + salt + ",i=4096"), {notScram}},
        {refused(ours + "x" + salt), {notScram}}, {refused(ours + "x" + salt + ",i=0"), {notScram}},
        {refused("m=ext," + ours + "x" + salt + ",i=4096"), {notScram}},
        {refused(ours + "x" + salt + ",i=99999999"), {failed + "der Server verlangt zu viele Runden (i=99999999)"}},
        {refused(ours + "x" + salt + ",i=65537"), {failed + "der Server verlangt zu viele Runden (i=65537)"}},
        {refused(ours + "x" + salt + ",i=4095"), {failed + "der Server verlangt zu wenige Runden (i=4095)"}},
    };
    for (const auto& [tail, failures] : cases) {
        SCOPED_TRACE(tail);
        CapNegotiation negotiation = Negotiation("pencil", "SCRAM-SHA-256");
        EXPECT_EQ(test::PlayNegotiation(negotiation, start + tail), failures);
    }
}

// Once the server has seen the abort, the next mechanism gets its turn,
// and the operator learns why SCRAM was given up.
TEST(ScramSha256, RefusedRoundsLeadToTheNextMechanism) {
    CapNegotiation negotiation = Negotiation("pencil", "SCRAM-SHA-256 PLAIN");
    const std::string script =
        "> :srv CAP * LS :sasl\n< CAP REQ :sasl\n> :srv CAP * ACK :sasl\n< AUTHENTICATE SCRAM-SHA-256\n> AUTHENTICATE +\n"
        "< AUTHENTICATE " + Base64("n,,n=user,r=" + kNonce) + "\n> AUTHENTICATE " +
        Base64("r=" + kNonce + "x,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=1") + "\n< AUTHENTICATE *\n> :srv 906 * :aborted\n"
        "< AUTHENTICATE PLAIN\n> AUTHENTICATE +\n< AUTHENTICATE dXNlcgB1c2VyAHBlbmNpbA==\n> :srv 903 * :ok\n< CAP END\n";
    EXPECT_EQ(test::PlayNegotiation(negotiation, script),
              std::vector<std::string>{"SASL-Anmeldung als user mit SCRAM-SHA-256 abgebrochen: der Server verlangt zu "
                                       "wenige Runden (i=1). Weiter mit PLAIN."});
}

// No proof goes over plain TCP to another machine, where whoever poses as
// the server could guess the password from it, nor for a password that
// SASLprep refuses (a control character); nor does a key computed for a
// login that ended meanwhile.
TEST(ScramSha256, NoProofWhereItCouldBeGuessedOrForNobody) {
    const std::string listed = "> :srv CAP * LS :sasl=SCRAM-SHA-256 message-tags\n< CAP REQ :message-tags";
    CapNegotiation plain = Negotiation("pencil", "SCRAM-SHA-256", LinkFacts{});
    EXPECT_EQ(test::PlayNegotiation(plain, listed + "\n> :srv CAP * ACK :message-tags\n< CAP END\n"),
              std::vector<std::string>{std::string("SASL-Anmeldung als user unterbleibt: das Passwort geht nur über TLS "
                                                   "(Port mit \"+\" davor, etwa +6697)"_w1252)});
    CapNegotiation bell = Negotiation("pen\acil", "SCRAM-SHA-256");
    EXPECT_EQ(test::PlayNegotiation(bell, listed + " sasl\n> :srv CAP * ACK :message-tags sasl\n< AUTHENTICATE SCRAM-SHA-256\n"
                                                   "> AUTHENTICATE +\n< AUTHENTICATE *\n< CAP END\n"),
              std::vector<std::string>{"SASL-Anmeldung als user fehlgeschlagen: " +
                                       std::string("das Passwort taugt nicht für SCRAM-SHA-256 (SASLprep)"_w1252)});
    CapNegotiation late = Negotiation("pencil", "SCRAM-SHA-256");
    late.Begin();
    for (const char* line : {":srv CAP * LS :sasl", ":srv CAP * ACK :sasl", "AUTHENTICATE +"}) late.Handle(line);
    const CapNegotiation::Outcome derive = late.Handle("AUTHENTICATE " + Base64(kServerFirst));
    ASSERT_TRUE(derive.work && derive.send.empty());
    EXPECT_EQ(late.Handle(":srv 904 * :too slow").send, std::vector<std::string>{"CAP END\n"});
    EXPECT_TRUE(late.Computed(derive.work()).send.empty());
}

}  // namespace
}  // namespace tovik
