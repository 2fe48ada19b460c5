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
// capabilities right, and services that come back ("CAP NEW sasl") get the
// login that could not be made before.
//
// What a server sends costs what its names cost, and no more: only the
// capabilities the bot could use are kept, an LS of more lines than any
// server needs ends the negotiation, and an ACK counts only for what was
// asked for.
//
// Pure and Qt-free: server lines in, lines to send and a few facts out. The
// mechanisms come from outside (SCRAM needs crypto), and so does the time a
// slow step of theirs takes (Outcome::work).

#include <functional>
#include <map>
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

    // More LS lines than this end the negotiation: a few hundred names fit
    // in a handful of lines.
    static constexpr int kMaxListLines = 32;

    CapNegotiation(LoginSettings login, LinkFacts link, MechanismFactory mechanisms);

    struct Outcome {
        std::vector<std::string> send;       // lines to send, each ending in "\n"
        std::optional<std::string> failure;  // German text for the error reporter
        std::optional<std::string> account;  // the server says the bot is logged in as this
        std::optional<std::string> sts;      // the value of an offered "sts", raw
        // A step of the login that takes long to compute: run it away from
        // the GUI thread and hand its result to Computed(). It holds copies
        // of all it needs.
        std::function<std::string()> work;
    };

    // The first line of the connection, before NICK and USER; with a
    // failure text when a login is configured that this link cannot carry.
    Outcome Begin();
    // Any received line. Lines that do not belong to the negotiation give an
    // empty outcome.
    Outcome Handle(std::string_view line);
    Outcome Handle(const IrcMessage& message);
    // The result of the last outcome's work; nothing happens when the login
    // has ended meanwhile.
    Outcome Computed(std::string result);
    // The server never finished the exchange: end it.
    Outcome GiveUp();
    // "CAP END" has gone out (or was not needed): registration goes on.
    bool Finished() const { return ended_; }
    // The bot waits for the server: the negotiation or a login is open.
    bool AwaitingServer() const { return !ended_ || step_ != Step::None; }

    const std::set<std::string, std::less<>>& Enabled() const { return enabled_; }
    bool IsEnabled(std::string_view cap) const { return enabled_.find(cap) != enabled_.end(); }

private:
    // Where a login stands: sasl asked for, a mechanism under way, its slow
    // step computing, or aborted and waiting for the server to confirm.
    enum class Step { None, Asked, Mechanism, Computing, Aborting };
    struct Request {
        std::set<std::string, std::less<>> names;
        bool main = false;     // the one after the LS
        bool retried = false;  // a main request asked again without the extras
    };

    Outcome Listed();
    Outcome Acknowledged(std::string_view caps);
    Outcome Refused(std::string_view caps);
    Outcome Added(std::string_view caps);
    Outcome Removed(std::string_view caps);
    Outcome Numeric(const IrcMessage& message);
    Outcome Authenticate(const std::string& piece);
    Outcome Replied(SaslMechanism::Reply reply);
    Outcome NextMechanism(std::string_view reason);
    Outcome LoggedIn();
    Outcome Fail(std::string_view reason);
    Outcome Settle(Outcome outcome);
    void Offer(std::string_view name, std::string_view value);
    void Ask(Outcome& outcome, Request request);
    bool Offered(std::string_view cap) const { return offered_.find(cap) != offered_.end(); }
    bool Asking(std::string_view cap) const;
    std::string FailureText(std::string_view reason) const;
    std::string Unaccepted(std::string_view serverList) const;
    std::vector<std::string> Candidates() const;
    bool LoginPossible() const { return !login_.account.empty() && !mechanismsAllowed_.empty(); }

    LoginSettings login_;
    MechanismFactory factory_;
    std::vector<std::string> mechanismsAllowed_;  // configured, known, possible on this link
    bool passwordRefused_ = false;                // a password mechanism was configured, but not safe on this link
    bool listing_ = true;                         // the LS is still coming
    int listLines_ = 0;
    bool ended_ = false;                          // "CAP END" sent, or not needed
    // Only what the bot could use is kept, by name, with its value.
    std::map<std::string, std::string, std::less<>> offered_;
    std::set<std::string, std::less<>> enabled_;
    std::vector<Request> requests_;  // asked for, not yet answered

    bool loginOpen_ = false;  // a login is wanted and has not ended yet
    bool loggedIn_ = false;   // verified: a 903 the mechanism trusts, or 907
    Step step_ = Step::None;
    std::optional<std::vector<std::string>> serverMechanisms_;  // from "sasl=" or 908
    std::vector<std::string> tried_;
    std::unique_ptr<SaslMechanism> mechanism_;
    std::string challenge_;  // pieces of a long AUTHENTICATE challenge
    std::string abortReason_;
    std::optional<std::string> account_;  // what a 900 said, shown once the login is verified
};

}  // namespace tovik
