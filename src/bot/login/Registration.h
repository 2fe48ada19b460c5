#pragma once
// Registering on a server: the capability negotiation that opens every
// connection ("CAP LS 302", the capabilities the bot uses, the account
// login inside it, one "CAP END"), NICK and USER, and what the server's
// Strict Transport Security policy asks of the next connection.
//
// It keeps the negotiation of the connection under way and follows it for
// as long as the connection stands (CAP NEW / CAP DEL). A login step that
// takes long to compute (SCRAM's key derivation) runs in a worker thread,
// so that the window and the link stay responsive; its result reaches only
// the negotiation that asked for it, on the connection that asked.

#include <QFutureWatcher>
#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "bot/login/CapNegotiation.h"
#include "bot/link/IrcLink.h"

namespace tovik {

class ProfileContext;

class Registration {
public:
    struct Hooks {
        std::function<void(const std::string& line)> send;  // urgent, as built
        std::function<void(const std::string& account)> loggedIn;
        std::function<void(const std::string& text)> tell;
        // The server asks for TLS on this port: reconnect there, at once.
        std::function<void(std::uint16_t port)> upgrade;
    };

    Registration(ProfileContext& context, Hooks hooks);
    ~Registration();
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
    // "&Online": what is said once per click may be said again.
    void Restart() {
        toldOnce_.clear();
        upgrade_.reset();
    }

    // The connection stands: the negotiation begins, NICK and USER follow.
    void Begin(const std::string& host, std::uint16_t port, const LinkFacts& link);
    // NICK and USER as the profile names the persona.
    void SendNickAndUser();
    // Every received line.
    void Follow(const IrcMessage& message);
    // The connection is over. A policy this secure connection announced
    // holds for its duration from now on.
    void End();

    bool Enabled(const std::string& cap) const { return negotiation_ && negotiation_->IsEnabled(cap); }

    // The connection the profile asks for, as the server's Strict Transport
    // Security policy allows it: no plain connection while a policy holds,
    // and no falling back to one. Throws for a port that is no number.
    LinkTarget NextTarget();
    // The last target is TLS because a policy said so.
    bool SecuredBySts() const { return securedBySts_; }

private:
    void Apply(CapNegotiation::Outcome outcome);
    void Compute(std::function<std::string()> work);
    void StopComputing();
    void HearSts(const std::string& value);

    ProfileContext& context_;
    Hooks hooks_;
    QTimer timer_;  // the server's part of the negotiation
    std::chrono::milliseconds timeout_{30'000};
    std::unique_ptr<CapNegotiation> negotiation_;
    QObject watchers_;  // owns the watchers of slow steps, also those given up
    QFutureWatcher<std::string>* computing_ = nullptr;  // the negotiation's slow step, if one runs
    std::string host_;
    std::uint16_t port_ = 0;
    bool tls_ = false;
    std::optional<std::string> secureSts_;  // the last "sts" value this TLS connection announced
    std::string toldOnce_;  // the text said already since "&Online"
    // The host (as StsHostKey has it) that a policy took to TLS on this
    // port: a plain server's, which is never written down, or one in force.
    // Kept until the next "&Online", so that a policy port that stops
    // answering for longer than the policy lasts never sends the bot back
    // to plain TCP.
    std::optional<std::pair<std::string, std::uint16_t>> upgrade_;
    bool securedBySts_ = false;
};

}  // namespace tovik
