#pragma once
// Whether the bot holds its command channel. The channel's name is easy to
// guess, and whoever holds it would read every partner's message in the
// reports and could command the bot. So the bot reports there and obeys
// commands from there only while it is a channel operator, as the server's
// NAMES reply and later MODE changes show it (services setting the mode
// count like anyone). It starts over with every connection.
//
// Pure and Qt-free: fed one received line at a time.

#include <optional>
#include <string>
#include <string_view>

namespace tovik {

class ChannelOwnership {
public:
    // A new connection: nothing is known, nothing has been said.
    void Reset();

    // Follows one received line for the command channel `channel`, the bot
    // holding `nick`. Returns a German text for the operator when the bot
    // learns that it cannot use the channel: it is held by someone else, it
    // cannot be joined, or the bot lost it. Each is said once per connection.
    std::optional<std::string> Follow(std::string_view line, std::string_view channel, std::string_view nick);

    bool Owns(std::string_view channel) const;

private:
    std::optional<std::string> Lost(std::string_view channel, std::string_view why);

    std::string owned_;         // lowercased channel the bot is operator in
    std::string namesChannel_;  // lowercased channel whose NAMES reply is running
    bool opInNames_ = false;
    bool told_ = false;
};

}  // namespace tovik
