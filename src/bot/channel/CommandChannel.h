#pragma once
// The bot's private command channel: joined when registration is over,
// locked (modes and topic) once the server shows the bot as its operator,
// obeyed while the bot holds it, and the only place reports go to.
//
// Whether a line may still be said in a channel is decided here and only
// here, at the moment the line leaves the send queue, against the channel
// the line was addressed to: a report, an echo or a ".info" planned while
// the bot held the channel must not go out after a KICK, a "-o" or the
// bot's own PART, nor to a channel the profile named earlier.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "bot/channel/ChannelOwnership.h"
#include "bot/channel/ReportOutbox.h"
#include "bot/link/SendQueue.h"
#include "bot/session/Charset.h"

namespace tovik {

class DenyList;
struct IrcMessage;
class ServerSupport;

class CommandChannel {
public:
    struct Hooks {
        // One built line, composed in `charset`, sent in `lineClass`;
        // `destination` is the channel it is said in, when it is.
        std::function<void(const std::string& line, LineClass lineClass, Charset charset,
                           const std::string& destination)>
            send;
        std::function<Charset()> ownCharset;                    // the channel's and the server's
        std::function<Charset(std::string_view)> charsetFor;   // a ".say" target's
        std::function<void(const std::string&)> tell;           // the operator, in German
        std::function<void()> denyListChanged;
    };

    CommandChannel(DenyList& denyList, Hooks hooks);

    // A new connection: nothing owned, nothing said, no report waiting.
    void Reset();
    // Registration is over: into the channel.
    void Join(const std::string& channel);
    // Follows one received line. `channel` is the profile's command channel,
    // `ownNick` the nick the bot holds, `botNick` the configured one (the
    // topic names it); `fromSelf`: the bot itself sent it, which commands
    // nothing.
    void Follow(const IrcMessage& message, const std::string& channel, const std::string& ownNick,
                const std::string& botNick, const ServerSupport& support, bool fromSelf);
    // The operator has asked `nick` in from the console.
    void Invited(std::string_view nick) { ownership_.Invited(nick); }

    // The gate: whether a line addressed to `channel` may be said there now.
    bool MaySay(std::string_view channel) const { return ownership_.Owns(channel); }
    // One sealed report line to `channel`; it waits in Reports() until the
    // send queue takes it.
    void Report(std::string channel, std::string line) { outbox_.Add(std::move(channel), std::move(line)); }
    LineFeed& Reports() { return outbox_; }

private:
    void Lock(const std::string& channel, const std::string& botNick);

    DenyList& denyList_;
    Hooks hooks_;
    ChannelOwnership ownership_;
    ReportOutbox outbox_;
    bool lockPending_ = false;  // joined, modes and topic not yet set
};

}  // namespace tovik
