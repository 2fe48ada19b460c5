#pragma once
// Registering on a server: the capability negotiation that opens every
// connection ("CAP LS 302", the capabilities the bot uses, the account
// login inside it, one "CAP END"), NICK and USER, and what the server's
// Strict Transport Security policy asks of the next connection.
//
// It keeps the negotiation of the connection under way and follows it for
// as long as the connection stands (CAP NEW / CAP DEL).

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
    // The connection is over.
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

    ProfileContext& context_;
    Hooks hooks_;
    QTimer timer_;  // the server's part of the negotiation
    std::chrono::milliseconds timeout_{30'000};
    std::unique_ptr<CapNegotiation> negotiation_;
    std::string host_;
    std::uint16_t port_ = 0;
    bool tls_ = false;
    std::string toldOnce_;  // the text said already since "&Online"
    // A plain server's policy asked for TLS on this port; kept until the
    // next "&Online", as no policy is remembered from a plain connection.
    std::optional<std::pair<std::string, std::uint16_t>> upgrade_;
    bool securedBySts_ = false;
};

}  // namespace tovik
