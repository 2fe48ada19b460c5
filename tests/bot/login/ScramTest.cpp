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
const LinkFacts kTls{true, false, false};

// Soft hyphens vanish in SASLprep, so the RFC's account comes out of these.
TEST(ScramSha256, FollowsTheRfc7677TestVectorAfterSaslPrepAndEscapesNames) {
    ScramSha256 scram("u\xadser", "pen\xad" "cil", kNonce);
    EXPECT_EQ(scram.Respond("").response, "n,,n=user,r=" + kNonce);
    SaslMechanism::Reply derive = scram.Respond(kServerFirst);
    ASSERT_TRUE(derive.work) << "the key derivation runs apart";
    EXPECT_EQ(scram.Resume(derive.work()).response, kClientFinal);
    EXPECT_FALSE(scram.ServerVerified());
    EXPECT_EQ(scram.Respond(kServerFinal).reason, std::nullopt);
    EXPECT_TRUE(scram.ServerVerified());
    EXPECT_EQ(ScramSha256("J\xfcr=gen,", "x", "abc").Respond("").response, "n,,n=J\xc3\xbcr=3Dgen=2C,r=abc");
    EXPECT_NE(ScramSha256::RandomNonce(), ScramSha256::RandomNonce());
}

CapNegotiation Negotiation(const std::string& password, LinkFacts link = kTls,
                           const std::string& mechanisms = "SCRAM-SHA-256 PLAIN") {
    return CapNegotiation({"user", password, mechanisms}, link, [password](std::string_view name) -> std::unique_ptr<SaslMechanism> {
        if (name == "SCRAM-SHA-256") return std::make_unique<ScramSha256>("user", password, kNonce);
        return PlainOrExternal(name, "user", password);
    });
}

const std::string kFailed = "SASL-Anmeldung als user fehlgeschlagen: ";
const std::string kStart = "> :srv CAP * LS :sasl=SCRAM-SHA-256\n< CAP REQ :sasl\n> :srv CAP * ACK :sasl\n"
                           "< AUTHENTICATE SCRAM-SHA-256\n> AUTHENTICATE +\n< AUTHENTICATE " +
                           Base64("n,,n=user,r=" + kNonce) + "\n";
const std::string kProof = "> AUTHENTICATE " + Base64(kServerFirst) + "\n< AUTHENTICATE " + Base64(kClientFinal) + "\n";

// The exact bytes of a SCRAM login, and the end of one with a server that
// answers someone else, cannot prove that it knows the password, or names
// a number of rounds outside the bounds: too few would hand a guessable
// proof to whoever poses as the server, too many would burn the bot's time
// at the server's word.
TEST(ScramSha256, ThroughTheNegotiationAServerThatFailsIsAborted) {
    const std::string unproved = kFailed + std::string(kServerUnproved);
    const std::string notScram = kFailed + "der Server antwortet nicht nach SCRAM-SHA-256";
    auto refused = [](const std::string& server) { return "> AUTHENTICATE " + Base64(server) + "\n< AUTHENTICATE *\n< CAP END\n"; };
    const std::string salt = ",s=W22ZaJ0SNY7soEsUEjb6gQ==", ours = "r=" + kNonce + "x" + salt;
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases{
        {kProof + "> AUTHENTICATE " + Base64(kServerFinal) + "\n< AUTHENTICATE +\n> :srv 900 * * user :in\n"
                  "> :srv 903 * :SASL successful\n< CAP END\n",
         {"account: user"}},
        {kProof + refused("v=" + Base64(std::string(32, 'x'))) + "> :srv 906 * :aborted\n", {unproved}},
        {kProof + refused("x=1"), {unproved}},
        // The account a server names before it has proved itself is not shown.
        {kProof + "> :srv 900 * * user :in\n> :srv 903 * :SASL successful\n< CAP END\n", {unproved}},
        {kProof + refused("e=invalid-proof"), {kFailed + "der Server lehnt ab (invalid-proof)"}},
        {refused("r=someoneElse123" + salt + ",i=4096"), {notScram}},
        {refused("r=" + kNonce + salt + ",i=4096"), {notScram}},
        {refused(ours), {notScram}},
        {refused(ours + ",i=0"), {notScram}},
        {refused(ours + ",i=-4096"), {notScram}},
        {refused("m=ext," + ours + ",i=4096"), {notScram}},
        {refused(ours + ",i=1"), {kFailed + "der Server verlangt zu wenige Runden (i=1)"}},
        {refused(ours + ",i=4095"), {kFailed + "der Server verlangt zu wenige Runden (i=4095)"}},
        {refused(ours + ",i=65537"), {kFailed + "der Server verlangt zu viele Runden (i=65537)"}},
        {refused(ours + ",i=99999999"), {kFailed + "der Server verlangt zu viele Runden (i=99999999)"}},
    };
    for (const auto& [tail, facts] : cases) {
        SCOPED_TRACE(tail);
        CapNegotiation negotiation = Negotiation("pencil", kTls, "SCRAM-SHA-256");
        EXPECT_EQ(test::PlayNegotiation(negotiation, kStart + tail), facts);
    }
}

// Once the server has seen the abort, the next mechanism gets its turn,
// and the operator learns why SCRAM was given up; a server that never
// confirms the abort hears the end after the time-out.
TEST(ScramSha256, RefusedRoundsLeadToTheNextMechanism) {
    const std::string start =
        "> :srv CAP * LS :sasl\n< CAP REQ :sasl\n> :srv CAP * ACK :sasl\n< AUTHENTICATE SCRAM-SHA-256\n"
        "> AUTHENTICATE +\n< AUTHENTICATE " + Base64("n,,n=user,r=" + kNonce) + "\n> AUTHENTICATE " +
        Base64("r=" + kNonce + "x,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=1") + "\n< AUTHENTICATE *\n";
    CapNegotiation negotiation = Negotiation("pencil");
    EXPECT_EQ(test::PlayNegotiation(negotiation, start + "> :srv 906 * :SASL authentication aborted\n"
                                                         "< AUTHENTICATE PLAIN\n> AUTHENTICATE +\n< AUTHENTICATE " +
                                                         Base64(std::string("user\0user\0pencil", 16)) +
                                                         "\n> :srv 903 * :ok\n< CAP END\n"),
              std::vector<std::string>{"SASL-Anmeldung als user mit SCRAM-SHA-256 abgebrochen: der Server verlangt zu "
                                       "wenige Runden (i=1). Weiter mit PLAIN."});
    CapNegotiation silent = Negotiation("pencil");
    EXPECT_EQ(test::PlayNegotiation(silent, start + "> ?\n< CAP END\n"),
              std::vector<std::string>{kFailed + "der Server verlangt zu wenige Runden (i=1)"});
}

// Over plain TCP to another machine SCRAM is not begun: whoever poses as
// the server there could guess the password from the proof.
TEST(ScramSha256, OverPlainTcpElsewhereNothingIsSent) {
    CapNegotiation negotiation = Negotiation("pencil", LinkFacts{}, "SCRAM-SHA-256");
    EXPECT_EQ(test::PlayNegotiation(negotiation, "> :srv CAP * LS :sasl=SCRAM-SHA-256 message-tags\n"
                                                 "< CAP REQ :message-tags\n> :srv CAP * ACK :message-tags\n< CAP END\n"),
              std::vector<std::string>{std::string("SASL-Anmeldung als user unterbleibt: das Passwort geht nur über TLS "
                                                   "(Port mit \"+\" davor, etwa +6697)"_w1252)});
}

// A password SASLprep refuses (a control character) is no SCRAM password;
// a result computed for a login that ended meanwhile goes nowhere.
TEST(ScramSha256, AnUnpreparablePasswordAndALateResultSendNothing) {
    CapNegotiation bell = Negotiation("pen\acil", kTls, "SCRAM-SHA-256");
    EXPECT_EQ(test::PlayNegotiation(bell, "> :srv CAP * LS :sasl\n< CAP REQ :sasl\n> :srv CAP * ACK :sasl\n"
                                          "< AUTHENTICATE SCRAM-SHA-256\n> AUTHENTICATE +\n< AUTHENTICATE *\n"
                                          "< CAP END\n"),
              std::vector<std::string>{kFailed + std::string("das Passwort taugt nicht für SCRAM-SHA-256 (SASLprep)"_w1252)});

    CapNegotiation late = Negotiation("pencil", kTls, "SCRAM-SHA-256");
    late.Begin();
    late.Handle(":srv CAP * LS :sasl");
    late.Handle(":srv CAP * ACK :sasl");
    late.Handle("AUTHENTICATE +");
    CapNegotiation::Outcome derive = late.Handle("AUTHENTICATE " + Base64(kServerFirst));
    ASSERT_TRUE(derive.work);
    EXPECT_TRUE(derive.send.empty());
    EXPECT_EQ(late.Handle(":srv 904 * :too slow").send, std::vector<std::string>{"CAP END\n"});
    const CapNegotiation::Outcome computed = late.Computed(derive.work());
    EXPECT_TRUE(computed.send.empty());
    EXPECT_FALSE(computed.failure);
}

}  // namespace
}  // namespace tovik
