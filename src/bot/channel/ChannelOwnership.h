#pragma once
// Whether the bot holds its command channel. The channel's name is easy to
// guess, and whoever holds it would read every partner's message in the
// reports and could command the bot. So the bot reports there and obeys
// commands from there only while it is a channel operator, as the server's
// NAMES reply shows it after the bot's JOIN.
//
// Once lost (someone else holds the channel, the bot cannot join, is kicked,
// loses its operator status or leaves), nothing restores it until the next
// connection, as the operator is told: whoever can op the bot then may be
// the very person who took the channel.
//
// Pure and Qt-free: fed one parsed line at a time.

#include <optional>
#include <string>
#include <string_view>

#include "bot/session/ServerSupport.h"
#include "irc/Message.h"

namespace tovik {

struct OwnershipChange {
    // German, for the operator: why the bot cannot use the channel. Said once per connection.
    std::optional<std::string> text;
    // This line ended the bot's hold: whatever waits to go to the channel must go no more.
    bool lost = false;
};

class ChannelOwnership {
public:
    // A new connection: nothing is known, nothing has been said.
    void Reset();

    // Follows one received line for the command channel `channel`, the bot
    // holding `nick`, with the server's own rules for modes and names.
    OwnershipChange Follow(const IrcMessage& message, std::string_view channel, std::string_view nick,
                           const ServerSupport& support);

    bool Owns(std::string_view channel) const;

private:
    OwnershipChange Lose(std::string_view channel, std::string_view why);
    void FollowNames(const IrcMessage& message, std::string_view channel, std::string_view nick,
                     const ServerSupport& support);
    bool LostOperator(const IrcMessage& message, std::string_view nick, const ServerSupport& support) const;

    CaseMapping mapping_ = CaseMapping::Rfc1459;
    std::string owned_;         // the channel the bot is operator in
    std::string namesChannel_;  // the channel whose NAMES reply is running
    bool opInNames_ = false;
    bool lost_ = false;  // for the rest of the connection
};

}  // namespace tovik
