#pragma once
// The bot's own address as the server sees it: the host in its welcome,
// in the echo of the bot's own JOIN, and in the answer to a USERHOST of the
// bot's nick:
//
//   :srv 001 me :Welcome to the Internet Relay Network me!user@203.0.113.7
//   :me!user@203.0.113.7 JOIN #chan
//   :srv 302 me :me=+user@203.0.113.7
//
// Behind a home router that is the router's public address, the one a
// partner can reach. Only an IP address is kept: a host name or a cloak
// does not tell a partner's client where to connect, and a cloak set later
// does not move the bot.
//
// Pure and Qt-free: fed one parsed line at a time, for one connection.

#include <string>
#include <string_view>

#include "irc/Message.h"

namespace tovik {

class OwnHost {
public:
    // `nick`: the nick the bot holds on this connection.
    void Follow(const IrcMessage& message, std::string_view nick, CaseMapping mapping);
    // Canonical IP text; empty while the server has shown none.
    const std::string& Address() const { return address_; }
    void Reset() { address_.clear(); }

    // The question for the server when its welcome and the JOIN told nothing.
    static std::string Ask(std::string_view nick) { return "USERHOST " + std::string(nick) + "\n"; }

private:
    void Take(std::string_view mask, std::string_view nick, CaseMapping mapping);
    std::string address_;
};

}  // namespace tovik
