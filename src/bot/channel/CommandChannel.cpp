#include "bot/channel/CommandChannel.h"

#include "bot/channel/Credits.h"
#include "bot/channel/RemoteCommands.h"
#include "irc/IRC.h"
#include "irc/Message.h"
#include "text/Cp1252.h"

namespace tovik {

CommandChannel::CommandChannel(DenyList& denyList, Hooks hooks) : denyList_(denyList), hooks_(std::move(hooks)) {}

void CommandChannel::Reset() {
    ownership_.Reset();
    lockPending_ = false;
}

void CommandChannel::Join(const std::string& channel) {
    hooks_.send(MakeJoin(channel), LineClass::Normal, Charset::Cp1252);
    lockPending_ = true;
}

void CommandChannel::Follow(const IrcMessage& message, const std::string& line, const std::string& channel,
                            const std::string& ownNick, const std::string& botNick, const ServerSupport& support) {
    channel_ = channel;
    if (const auto problem = ownership_.Follow(message, channel, ownNick, support).text) hooks_.tell(*problem);
    if (lockPending_ && ownership_.Owns(channel)) Lock(channel, botNick);
    // Whoever may speak in the command channel commands the bot, but only
    // in a channel the bot holds.
    if (message.command != "PRIVMSG" || !ownership_.Owns(channel) || !EqualsIgnoreCase(GetTarget(line), channel))
        return;
    const auto send = [this](const std::string& out, Charset charset) { hooks_.send(out, LineClass::Normal, charset); };
    const CommandCharsets charsets{hooks_.ownCharset(), hooks_.charsetFor};
    if (RunRemoteCommand(RemoteCommand::FromLine(line), channel, denyList_, send, charsets)) hooks_.denyListChanged();
}

// Once the server has shown the bot as the channel's operator: modes and
// topic. In a channel someone else holds they would tell that person what
// the bot is.
void CommandChannel::Lock(const std::string& channel, const std::string& botNick) {
    lockPending_ = false;
    hooks_.send(MakeMode(channel, "+nt", ""), LineClass::Normal, Charset::Cp1252);
    hooks_.send(MakeMode(channel, "+msi", ""), LineClass::Normal, Charset::Cp1252);
    const Charset charset = hooks_.ownCharset();
    const std::string topic = "--] " + botNick + "'s Kommando Channel [----] " + std::string(kCreditLine) + " [--";
    hooks_.send(MakeTopic(channel, Encode(topic, charset)), LineClass::Normal, charset);
}

}  // namespace tovik
