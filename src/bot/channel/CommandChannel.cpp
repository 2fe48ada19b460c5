#include "bot/channel/CommandChannel.h"

#include "bot/channel/Credits.h"
#include "bot/channel/RemoteCommands.h"
#include "irc/IRC.h"
#include "irc/Message.h"

namespace tovik {

CommandChannel::CommandChannel(DenyList& denyList, Hooks hooks)
    : denyList_(denyList), hooks_(std::move(hooks)), outbox_([this](std::string_view channel) { return MaySay(channel); }) {}

void CommandChannel::Reset() {
    ownership_.Reset();
    outbox_.Clear();
    lockPending_ = false;
}

void CommandChannel::Join(const std::string& channel) {
    hooks_.send(MakeJoin(channel), LineClass::Normal, Charset::Cp1252, {});
    lockPending_ = true;
}

void CommandChannel::Follow(const IrcMessage& message, const std::string& channel, const std::string& ownNick,
                            const std::string& botNick, const ServerSupport& support, bool fromSelf) {
    if (const auto problem = ownership_.Follow(message, channel, ownNick, support)) hooks_.tell(*problem);
    if (lockPending_ && ownership_.Owns(channel)) Lock(channel, botNick);
    // Whoever may speak in the command channel commands the bot, but only
    // in a channel the bot holds.
    if (message.command != "PRIVMSG" || fromSelf || !ownership_.Owns(channel) ||
        !IrcEquals(message.Param(0), channel, support.Mapping()))
        return;
    // What a command says in the channel (its echo, ".info", a ".say" to
    // the channel itself) passes the gate when it leaves.
    const auto send = [&](const std::string& out, Charset charset) {
        const std::string_view target = out.starts_with("PRIVMSG ") ? std::string_view(out).substr(8) : "";
        const bool here = IrcEquals(target.substr(0, target.find(' ')), channel, support.Mapping());
        hooks_.send(out, LineClass::Normal, charset, here ? channel : std::string());
    };
    const CommandCharsets charsets{hooks_.ownCharset(), hooks_.charsetFor};
    if (RunRemoteCommand(RemoteCommand::FromMessage(message), channel, denyList_, send, charsets))
        hooks_.denyListChanged();
}

// Once the server has shown the bot as the channel's operator: modes and
// topic, ahead of anything waiting, so that the channel stands open for one
// round trip at most. In a channel someone else holds they would tell that
// person what the bot is.
void CommandChannel::Lock(const std::string& channel, const std::string& botNick) {
    lockPending_ = false;
    hooks_.send(MakeMode(channel, "+nt", ""), LineClass::Urgent, Charset::Cp1252, channel);
    hooks_.send(MakeMode(channel, "+msi", ""), LineClass::Urgent, Charset::Cp1252, channel);
    const Charset charset = hooks_.ownCharset();
    const std::string topic = "--] " + botNick + "'s Kommando Channel [----] " + std::string(kCreditLine) + " [--";
    hooks_.send(MakeTopic(channel, Encode(topic, charset)), LineClass::Urgent, charset, channel);
}

}  // namespace tovik
