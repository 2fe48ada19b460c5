#pragma once
// IRCv3 capability negotiation on every connection, with the account login
// inside it. The first line is "CAP LS 302" (NICK and USER follow at once);
// the whole LS is read, also when the server spreads it over lines
//
//   :srv CAP * LS * :multi-prefix sasl=EXTERNAL,SCRAM-SHA-256 sts=port=6697
//   :srv CAP * LS :message-tags server-time
//
// and then one "CAP REQ" asks for what was offered of the capabilities the
// bot uses. After the ACK comes the login (SASL), and then exactly one
// "CAP END", whatever happened: a CAP-aware server holds the registration
// until it sees it. Later "CAP NEW" / "CAP DEL" keep the set of enabled
// capabilities right.
//
// Pure and Qt-free: server lines in, lines to send and a few facts out. The
// mechanisms come from outside (SCRAM needs crypto).

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "bot/login/Sasl.h"
#include "irc/Message.h"

namespace tovik {

// What the runtime knows of the link when it begins the negotiation.
struct LinkFacts {
    bool tls = false;
    bool loopback = false;           // 127.0.0.0/8 or ::1
    bool clientCertificate = false;  // a certificate was presented in the handshake
};

struct LoginSettings {
    std::string account;  // Windows-1252; empty: no login
    std::string password;
    std::string mechanisms = "EXTERNAL SCRAM-SHA-256 PLAIN";  // [IRC] SASLMechanisms, blank-separated, in order
};

class CapNegotiation {
public:
    // Makes the mechanism of that name, or nothing for one it does not know.
    using MechanismFactory = std::function<std::unique_ptr<SaslMechanism>(std::string_view name)>;

    CapNegotiation(LoginSettings login, LinkFacts link, MechanismFactory mechanisms);

    struct Outcome {
        std::vector<std::string> send;       // lines to send, each ending in "\n"
        std::optional<std::string> failure;  // German text for the error reporter
        std::optional<std::string> account;  // the server says the bot is logged in as this
        std::optional<std::string> sts;      // the value of an offered "sts", raw
    };

    // The first line of the connection, before NICK and USER; with a
    // failure text when a login is configured that this link cannot carry.
    Outcome Begin();
    // Any received line. Lines that do not belong to the negotiation give an
    // empty outcome.
    Outcome Handle(std::string_view line);
    Outcome Handle(const IrcMessage& message);
    // The server never finished the exchange: end it.
    Outcome GiveUp();
    // "CAP END" has gone out (or was not needed): registration goes on.
    bool Finished() const { return state_ == State::Done; }

    const std::set<std::string>& Enabled() const { return enabled_; }
    bool IsEnabled(const std::string& cap) const { return enabled_.count(cap) > 0; }

private:
    enum class State { Listing, Requesting, Authenticating, Done };
    Outcome Listed();
    Outcome Acknowledged(const std::string& caps);
    Outcome Changed(const std::string& sub, const std::string& caps);
    Outcome Authenticate(const std::string& piece);
    Outcome NextMechanism(std::string_view reason);
    Outcome Fail(std::string_view reason);
    Outcome End(Outcome outcome);
    std::string FailureText(std::string_view reason) const;
    std::vector<std::string> Candidates() const;
    bool LoginWanted() const { return !login_.account.empty() && !mechanismsAllowed_.empty(); }

    LoginSettings login_;
    MechanismFactory factory_;
    std::vector<std::string> mechanismsAllowed_;  // configured, possible on this link, known
    bool plainRefused_ = false;                   // PLAIN was configured, but the link is not safe for it
    State state_ = State::Listing;
    bool loginOpen_ = false;  // a login is wanted and has not ended yet
    std::vector<std::pair<std::string, std::string>> offered_;  // name, value
    std::set<std::string> enabled_;
    std::set<std::string> requested_;
    std::optional<std::vector<std::string>> serverMechanisms_;  // from "sasl=" or 908
    std::vector<std::string> tried_;
    std::unique_ptr<SaslMechanism> mechanism_;
    std::string challenge_;  // pieces of a long AUTHENTICATE challenge
};

}  // namespace tovik
