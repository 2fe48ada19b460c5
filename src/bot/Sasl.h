#pragma once
// Logging in to a registered account while the server registers the bot:
// capability negotiation (IRCv3 "CAP LS 302"), then SASL PLAIN. The exchange
// reads every received line until it is over and says what to send; it
// always ends with "CAP END", success or not, so that the server completes
// the registration in every case. No sockets, no Qt.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovik {

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
