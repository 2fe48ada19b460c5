#pragma once
// The client side of SCRAM-SHA-256 (RFC 5802, RFC 7677) for AUTHENTICATE:
//
//   bot:    n,,n=tovik,r=<our nonce>
//   server: r=<our nonce><its nonce>,s=<salt, base64>,i=<rounds>
//   bot:    c=biws,r=<both nonces>,p=<proof, base64>
//   server: v=<its signature, base64>
//   bot:    (empty, "AUTHENTICATE +")
//
// The password never crosses the wire, and the server has to show that it
// knows it too: a wrong or missing signature aborts the login.

#include <functional>
#include <string>

#include "bot/login/Sasl.h"

namespace tovik {

class ScramSha256 final : public SaslMechanism {
public:
    // Account and password in Windows-1252 (they go out as UTF-8); the
    // nonce is printable ASCII without ",", fresh for every attempt.
    ScramSha256(std::string account, std::string password, std::string nonce);

    // A random nonce of 32 base64 characters from the system's source.
    static std::string RandomNonce();

    std::string Name() const override { return "SCRAM-SHA-256"; }
    Reply Respond(std::string_view challenge) override;
    bool ServerVerified() const override { return step_ == Step::Verified; }

    // More rounds than this would stall the bot for seconds at a server's
    // whim; services use a few thousand.
    static constexpr long kMaxRounds = 1'000'000;

private:
    enum class Step { First, Final, Signature, Verified };
    Reply Final(std::string_view serverFirst);
    Reply Signature(std::string_view serverFinal);

    std::string account_;
    std::string password_;
    std::string nonce_;
    Step step_ = Step::First;
    std::string clientFirstBare_;
    std::string serverSignature_;  // raw bytes, known once the proof is sent
};

}  // namespace tovik
