#pragma once
// Logging in to a registered account while the server registers the bot:
// capability negotiation (IRCv3 "CAP LS 302"), then SASL PLAIN. The exchange
// reads every received line until it is over and says what to send; it
// always ends with "CAP END", success or not, so that the server completes
// the registration in every case. No sockets, no Qt.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovik {

// Base64 as SASL carries it (RFC 4648, with padding), and back; nothing for
// text that is not base64.
std::string Base64(std::string_view bytes);
std::optional<std::string> FromBase64(std::string_view text);

// A base64 message in the pieces AUTHENTICATE carries: at most 400 bytes
// each, and a "+" after a last piece of exactly 400 (an empty message is
// just "+").
std::vector<std::string> AuthenticatePieces(std::string_view encoded);

// One SASL mechanism's side of the AUTHENTICATE exchange, so that the
// capability negotiation stays pure while a mechanism may need crypto.
class SaslMechanism {
public:
    virtual ~SaslMechanism() = default;
    virtual std::string Name() const = 0;
    struct Reply {
        std::string response;               // raw bytes, base64 is added by the caller
        std::optional<std::string> reason;  // set: abort ("AUTHENTICATE *") for this German reason
    };
    // The server's challenge (decoded, empty for "+").
    virtual Reply Respond(std::string_view challenge) = 0;
    // Whether the server has proved itself, where the mechanism asks for
    // that; a success numeric before it is not trusted.
    virtual bool ServerVerified() const { return true; }
};

// PLAIN (RFC 4616, account and password as UTF-8) and EXTERNAL (the TLS
// client certificate speaks); nothing for any other name.
std::unique_ptr<SaslMechanism> PlainOrExternal(std::string_view name, const std::string& account,
                                               const std::string& password);

class SaslExchange {
public:
    // Account and password as stored in the profile (Windows-1252); they go
    // out as UTF-8, as the mechanism asks.
    SaslExchange(std::string account, std::string password);

    // What one received line makes the exchange do.
    struct Outcome {
        std::vector<std::string> send;       // lines to send, each ending in "\n"
        std::optional<std::string> failure;  // German text for the error reporter
        std::optional<std::string> account;  // the server says the bot is logged in as this
    };

    // The first line of the connection, before NICK and USER.
    static std::string Begin();
    // Any received line, tags removed. Lines that do not belong to the
    // exchange give an empty outcome.
    Outcome Handle(std::string_view line);
    // The server never finished the exchange: end it without the account.
    Outcome GiveUp();
    // "CAP END" has gone out (or was not needed): registration goes on.
    bool Finished() const { return state_ == State::Done; }

    // The PLAIN message, base64, in the pieces AUTHENTICATE carries: at most
    // 400 bytes each, and a "+" after a last piece of exactly 400.
    static std::vector<std::string> PlainPieces(std::string_view account, std::string_view password);

private:
    enum class State { Listing, Requesting, Authenticating, Waiting, Done };
    std::string FailureText(std::string_view reason) const;
    Outcome Fail(std::string_view reason);
    Outcome End(Outcome outcome);
    Outcome Listed();

    std::string account_;
    std::string password_;
    State state_ = State::Listing;
    std::string offered_;  // capabilities of a multi-line LS, blank-separated
};

}  // namespace tovik
