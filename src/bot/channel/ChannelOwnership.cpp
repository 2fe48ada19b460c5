#include "bot/channel/ChannelOwnership.h"

#include "text/Literal.h"

namespace tovik {

using namespace literals;

namespace {

std::string_view JoinRefusal(std::string_view numeric) {
    if (numeric == "471") return "der Channel ist voll";
    if (numeric == "473") return "nur mit Einladung";
    if (numeric == "474") return "der Bot ist dort gebannt";
    if (numeric == "475") return "der Channel hat einen Schlüssel"_w1252;
    return {};
}

// Whether a comma-separated list ("#a,#b", as PART carries it) names the channel.
bool Lists(std::string_view list, std::string_view channel, CaseMapping mapping) {
    while (!list.empty()) {
        const auto comma = list.find(',');
        if (IrcEquals(list.substr(0, comma), channel, mapping)) return true;
        list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
    }
    return false;
}

}  // namespace

void ChannelOwnership::Reset() { *this = ChannelOwnership{}; }

bool ChannelOwnership::Owns(std::string_view channel) const {
    return !lost_ && !owned_.empty() && IrcEquals(owned_, channel, mapping_);
}

OwnershipChange ChannelOwnership::Lose(std::string_view channel, std::string_view why) {
    owned_.clear();
    if (lost_) return {};
    lost_ = true;
    return {"Kommando-Channel " + std::string(channel) + ": " + std::string(why) +
                std::string(". Bis zur nächsten Verbindung gehen keine Meldungen dorthin, und Befehle von dort "
                            "gelten nicht."_w1252),
            true};
}

void ChannelOwnership::FollowNames(const IrcMessage& message, std::string_view channel, std::string_view nick,
                                   const ServerSupport& support) {
    // ":srv 353 me = #chan :@me +other third", possibly over several lines;
    // some servers leave out the channel type ("= "), some send every
    // status a nick has ("@+me") or the whole mask ("@me!u@h").
    if (namesChannel_.empty()) opInNames_ = false;
    namesChannel_ = channel;
    std::string_view names = message.Last();
    while (!names.empty()) {
        const auto blank = names.find(' ');
        std::string_view name = names.substr(0, blank);
        names.remove_prefix(blank == std::string_view::npos ? names.size() : blank + 1);
        bool op = false;
        while (!name.empty() && support.IsPrefixSymbol(name.front())) {
            op = op || support.IsOperatorSymbol(name.front());
            name.remove_prefix(1);
        }
        if (op && IrcEquals(name.substr(0, name.find('!')), nick, mapping_)) opInNames_ = true;
    }
}

// Whether a channel MODE line takes an operator status (or a higher one) from the bot.
bool ChannelOwnership::LostOperator(const IrcMessage& message, std::string_view nick,
                                    const ServerSupport& support) const {
    bool adding = true;
    std::size_t argument = 2;
    for (const char mode : message.Param(1)) {
        if (mode == '+' || mode == '-') {
            adding = mode == '+';
            continue;
        }
        if (!support.TakesArgument(mode, adding)) continue;
        const std::string& target = message.Param(argument++);
        if (!adding && support.IsOperatorMode(mode) && IrcEquals(target, nick, mapping_)) return true;
    }
    return false;
}

OwnershipChange ChannelOwnership::Follow(const IrcMessage& message, std::string_view channel, std::string_view nick,
                                         const ServerSupport& support) {
    mapping_ = support.Mapping();
    const std::string& command = message.command;
    const auto names = [&](std::size_t n) { return IrcEquals(message.Param(n), channel, mapping_); };
    const bool own = IrcEquals(message.Nick(), nick, mapping_);

    if (command == "353" && message.params.size() >= 3 && names(message.params.size() >= 4 ? 2 : 1)) {
        FollowNames(message, channel, nick, support);
    } else if (command == "366" && names(1)) {
        const bool op = !namesChannel_.empty() && opInNames_;
        namesChannel_.clear();
        if (!op) return Lose(channel, "er gehört schon jemand anderem"_w1252);
        if (!lost_) owned_ = channel;
    } else if (!JoinRefusal(command).empty() && names(1)) {
        return Lose(channel, "der Bot kann ihn nicht betreten, " + std::string(JoinRefusal(command)));
    } else if (command == "MODE" && names(0) && Owns(channel) && LostOperator(message, nick, support)) {
        return Lose(channel, "der Bot ist dort kein Operator mehr");
    } else if (command == "KICK" && names(0) && IrcEquals(message.Param(1), nick, mapping_)) {
        return Lose(channel, "der Bot wurde hinausgeworfen");
    } else if (own && ((command == "PART" && Lists(message.Param(0), channel, mapping_)) ||
                       (command == "JOIN" && message.Param(0) == "0"))) {
        return Lose(channel, "der Bot hat ihn verlassen");
    }
    return {};
}

}  // namespace tovik
