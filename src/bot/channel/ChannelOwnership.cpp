#include "bot/channel/ChannelOwnership.h"

#include "bot/session/Charset.h"
#include "text/Literal.h"

namespace tovik {

using namespace literals;

namespace {

// Why the server refused the bot's JOIN, for the numerics that name the
// channel.
std::string_view JoinRefusal(std::string_view numeric) {
    if (numeric == "403") return "den Channel gibt es nicht";
    if (numeric == "405") return "der Bot ist schon in zu vielen Channels";
    if (numeric == "470") return "der Server leitet ihn auf einen anderen Channel um";
    if (numeric == "471") return "der Channel ist voll";
    if (numeric == "473") return "nur mit Einladung";
    if (numeric == "474") return "der Bot ist dort gebannt";
    if (numeric == "475") return "der Channel hat einen Schlüssel"_w1252;
    if (numeric == "477") return "nur für angemeldete Nicks"_w1252;
    if (numeric == "489") return "nur über TLS"_w1252;
    return {};
}

// The modes that keep the channel closed and quiet.
bool IsLockMode(char mode) { return std::string_view("imsntk").find(mode) != std::string_view::npos; }

}  // namespace

void ChannelOwnership::Reset() { *this = ChannelOwnership{}; }

bool ChannelOwnership::Owns(std::string_view channel) const {
    return !lost_ && !owned_.empty() && IrcEquals(owned_, channel, mapping_);
}

void ChannelOwnership::Invited(std::string_view nick) { invited_.insert(IrcLower(nick, mapping_)); }

std::optional<std::string> ChannelOwnership::Lose(std::string_view channel, std::string_view why) {
    owned_.clear();
    if (lost_) return std::nullopt;
    lost_ = true;
    return "Kommando-Channel " + std::string(channel) + ": " + std::string(why) +
           std::string(". Bis zur nächsten Verbindung gehen keine Meldungen dorthin, und Befehle von dort gelten "
                       "nicht."_w1252);
}

std::optional<std::string> ChannelOwnership::Follow(const IrcMessage& message, std::string_view channel,
                                                    std::string_view nick, const ServerSupport& support) {
    mapping_ = support.Mapping();
    const std::string watched = owned_.empty() ? std::string(channel) : owned_;
    const std::string& command = message.command;
    if (!JoinRefusal(command).empty() && IrcEquals(message.Param(1), watched, mapping_)) {
        const std::string reason = message.params.size() > 2 ? ServerText(message.Last()) : std::string();
        return Lose(watched, "der Bot kann ihn nicht betreten, " + std::string(JoinRefusal(command)) +
                                 (reason.empty() ? "" : " (" + reason + ")"));
    }
    if (command == "341" && IrcEquals(message.Param(2), watched, mapping_)) Invited(message.Param(1));
    if (command == "NICK" && invited_.erase(IrcLower(message.Nick(), mapping_)) > 0) Invited(message.Last());
    const bool own = IrcEquals(message.Nick(), nick, mapping_);
    if (own && command == "JOIN" && message.Param(0) == "0") {
        members_.Reset();
        return Lose(watched, "der Bot hat ihn verlassen");
    }
    std::optional<std::string> told;
    for (const ChannelEvent& event : members_.Follow(message, watched, nick, support))
        if (auto text = Door(event, watched, nick, support); text && !told) told = std::move(text);
    return told;
}

// What one change in the channel means for the bot's hold on it.
std::optional<std::string> ChannelOwnership::Door(const ChannelEvent& event, std::string_view channel,
                                                  std::string_view nick, const ServerSupport& support) {
    using Kind = ChannelEvent::Kind;
    const bool self = IrcEquals(event.nick, nick, mapping_);
    const bool bySelf = IrcEquals(event.by, nick, mapping_);
    const std::string by = ServerText(event.by);
    switch (event.kind) {
    case Kind::NamesEnded: {
        const Membership::Member* bot = members_.Find(nick);
        bool op = false;
        for (const char mode : bot ? bot->status : std::string()) op = op || support.IsOperatorMode(mode);
        // Created by the bot: it is alone there and its operator.
        if (!op || members_.Size() != 1) return Lose(channel, "er gehört schon jemand anderem"_w1252);
        if (!lost_) owned_ = channel;
        return std::nullopt;
    }
    case Kind::Left:
        if (!self) return std::nullopt;
        return Lose(channel, event.by.empty() ? "der Bot hat ihn verlassen" : "der Bot wurde hinausgeworfen");
    case Kind::Joined:
        // Whom the bot let in once may come back (a netsplit rejoins him);
        // a stranger would need an invite the channel's +i asks for.
        if (!Owns(channel) || self || invited_.contains(IrcLower(event.nick, mapping_))) return std::nullopt;
        return Lose(channel, ServerText(event.nick) + " ist ohne Einladung hereingekommen");
    case Kind::Status:
        if (!Owns(channel)) return std::nullopt;
        if (event.adding && !bySelf)
            return Lose(channel, by + " hat " + ServerText(event.nick) + " dort den Status +" + event.mode +
                                     " gegeben");
        if (!event.adding && self && support.IsOperatorMode(event.mode))
            return Lose(channel, "der Bot ist dort kein Operator mehr");
        return std::nullopt;
    case Kind::Mode:
        if (!Owns(channel)) return std::nullopt;
        if (event.mode == 'r' && event.adding) return Lose(channel, "er ist bei den Services registriert (+r)");
        if (IsLockMode(event.mode) && !bySelf)
            return Lose(channel, by + std::string(" hat dort die Modi geändert ("_w1252) + (event.adding ? "+" : "-") +
                                     event.mode + ")");
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace tovik
