#pragma once
// The bot's private command channel: joined when registration is over,
// locked (modes and topic) once the server shows the bot as its operator,
// obeyed while the bot holds it, and the only place reports go to.
//
// Whether a report may leave is decided here and only here, at the moment
// it leaves the send queue: a report planned while the bot held the channel
// must not go out after a KICK, a "-o" or the bot's own PART.

#include <functional>
#include <optional>
#include <string>

#include "bot/channel/ChannelOwnership.h"
#include "bot/session/Charset.h"
#include "bot/link/SendQueue.h"

namespace tovik {

class DenyList;
struct IrcMessage;
class ServerSupport;

class CommandChannel {
public:
    struct Hooks {
        // One built line, composed in `charset`, sent in `lineClass`.
        std::function<void(const std::string& line, LineClass lineClass, Charset charset)> send;
        std::function<Charset()> ownCharset;                    // the channel's and the server's
        std::function<Charset(std::string_view)> charsetFor;   // a ".say" target's
        std::function<void(const std::string&)> tell;           // the operator, in German
        std::function<void()> denyListChanged;
    };

    CommandChannel(DenyList& denyList, Hooks hooks);

    // A new connection: nothing owned, nothing said.
    void Reset();
    // Registration is over: into the channel.
    void Join(const std::string& channel);
    // Follows one received line. `channel` is the profile's command channel,
    // `ownNick` the nick the bot holds, `botNick` the configured one (the
    // topic names it).
    void Follow(const IrcMessage& message, const std::string& line, const std::string& channel,
                const std::string& ownNick, const std::string& botNick, const ServerSupport& support);

    bool Owns(const std::string& channel) const { return ownership_.Owns(channel); }
    // The report gate: reports go to the channel of the last line handled,
    // and only while the bot holds it.
    bool ReportsMayLeave() const { return ownership_.Owns(channel_); }

private:
    void Lock(const std::string& channel, const std::string& botNick);

    DenyList& denyList_;
    Hooks hooks_;
    ChannelOwnership ownership_;
    std::string channel_;       // as of the last line handled
    bool lockPending_ = false;  // joined, modes and topic not yet set
};

}  // namespace tovik
