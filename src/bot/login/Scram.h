#pragma once
// The client side of SCRAM-SHA-256 (RFC 5802, RFC 7677) for AUTHENTICATE:
//
//   bot:    n,,n=tovik,r=<our nonce>
//   server: r=<our nonce><its nonce>,s=<salt, base64>,i=<rounds>
//   bot:    c=biws,r=<both nonces>,p=<proof, base64>
//   server: v=<its signature, base64>
//   bot:    (empty, "AUTHENTICATE +")
//
// The password itself does not go out, and the server has to show that it
// knows it too: a wrong or missing signature aborts the login. The proof
// does let whoever receives it test guesses of the password offline, at the
// cost of the rounds the server named for each guess: so fewer rounds than
// RFC 7677 asks for are refused, and so are more than a bound, since every
// round is computed here (away from the GUI thread) at the server's word.

#include <functional>
#include <string>

#include "bot/login/Sasl.h"

namespace tovik {

class ScramSha256 final : public SaslMechanism {
public:
    // Account and password in Windows-1252 (they go out as UTF-8, prepared
    // with SASLprep); the nonce is printable ASCII without ",", fresh for
    // every attempt.
    ScramSha256(std::string account, std::string password, std::string nonce);

    // A random nonce of 32 base64 characters from the system's source.
    static std::string RandomNonce();

    std::string Name() const override { return "SCRAM-SHA-256"; }
    Reply Respond(std::string_view challenge) override;
    Reply Resume(std::string saltedPassword) override;
    bool ServerVerified() const override { return step_ == Step::Verified; }

    // RFC 7677: at least 4096. Atheme, the services most IRC networks run,
    // stores 64,000 by default and warns above 65,536, which is where Cyrus
    // SASL clients refuse; Ergo uses 4096. 65,536 rounds of Qt's PBKDF2 take
    // about a seventh of a second of one core, at every login a server asks.
    static constexpr unsigned long kMinRounds = 4096;
    static constexpr unsigned long kMaxRounds = 65'536;

    // PBKDF2-HMAC-SHA-256 of the prepared password: the slow part, safe to
    // run on any thread.
    static std::string SaltedPassword(const std::string& password, const std::string& salt, unsigned long rounds);

private:
    enum class Step { First, Final, Deriving, Signature, Verified };
    Reply Final(std::string_view serverFirst);
    Reply Signature(std::string_view serverFinal);

    std::string account_;
    std::string password_;  // UTF-8, prepared
    std::string nonce_;
    Step step_ = Step::First;
    std::string clientFirstBare_;
    std::string authMessage_;      // known once the server's first message is in
    std::string finalWithoutProof_;
    std::string serverSignature_;  // raw bytes, known once the proof is sent
};

}  // namespace tovik
