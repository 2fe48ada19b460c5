#pragma once
// Whether the bot holds its command channel. The channel's name is easy to
// guess, and whoever holds it would read every partner's message in the
// reports and could command the bot. So the bot reports there and obeys
// commands from there only while the channel is its own: it found itself
// alone there and operator when it came in, and since then it alone decides
// who comes in and who may speak.
//
// That ends, and nothing restores it until the next connection, as the
// operator is told once: when the bot cannot join, finds someone there, is
// kicked, loses its operator status or leaves; when someone the bot did not
// invite comes in; when anyone but the bot gives a status (op, halfop,
// voice, ...) or changes the lock modes (i, m, s, n, t, k); when the channel
// is registered (+r). Whoever can do any of that may be the very person who
// wants the channel, and an IRC operator or services may open it to anyone.
//
// Once held, the channel followed stays the one held, whatever the profile
// names later; until then it is the one the profile names.
//
// Pure and Qt-free: fed one parsed line at a time.

#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "bot/channel/Membership.h"
#include "bot/session/ServerSupport.h"
#include "irc/Message.h"

namespace tovik {

class ChannelOwnership {
public:
    // A new connection: nothing is known, nothing has been said.
    void Reset();

    // Follows one received line for the command channel `channel`, the bot
    // holding `nick`, with the server's own rules for modes and names. The
    // German text for the operator when this line ended the bot's hold.
    std::optional<std::string> Follow(const IrcMessage& message, std::string_view channel, std::string_view nick,
                                      const ServerSupport& support);
    // The bot has asked `nick` in: that one may join.
    void Invited(std::string_view nick);

    bool Owns(std::string_view channel) const;

private:
    std::optional<std::string> Lose(std::string_view channel, std::string_view why);
    std::optional<std::string> Door(const ChannelEvent& event, std::string_view channel, std::string_view nick,
                                    const ServerSupport& support);

    CaseMapping mapping_ = CaseMapping::Rfc1459;
    Membership members_;
    std::set<std::string> invited_;  // nicks in the server's lower case, for the connection
    std::string owned_;              // the channel the bot holds
    bool lost_ = false;              // for the rest of the connection
};

}  // namespace tovik
