#include "bot/channel/Membership.h"

namespace tovik {

namespace {

// Whether a comma-separated list ("#a,#b", as PART carries it) names the channel.
bool Lists(std::string_view list, std::string_view channel, CaseMapping mapping) {
    while (!list.empty()) {
        const auto comma = list.find(',');
        if (IrcEquals(list.substr(0, comma), channel, mapping)) return true;
        list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
    }
    return false;
}

using Kind = ChannelEvent::Kind;

}  // namespace

const Membership::Member* Membership::Find(std::string_view nick) const {
    const auto found = members_.find(Key(nick));
    return found == members_.end() ? nullptr : &found->second;
}

std::vector<ChannelEvent> Membership::Follow(const IrcMessage& message, std::string_view channel,
                                             std::string_view self, const ServerSupport& support) {
    mapping_ = support.Mapping();
    std::vector<ChannelEvent> events;
    const std::string& command = message.command;
    const auto names = [&](std::size_t n) { return IrcEquals(message.Param(n), channel, mapping_); };
    const std::string nick = message.Nick();
    const bool own = IrcEquals(nick, self, mapping_);

    if (command == "JOIN" && names(0)) {
        if (own) {
            // The bot comes in: what follows is the channel as it finds it.
            Reset();
            members_[Key(nick)] = {nick, {}};
        } else if (members_.emplace(Key(nick), Member{nick, {}}).second) {
            events.push_back({Kind::Joined, nick, {}});
        }
    } else if (command == "JOIN" && own && message.Param(0) == "0") {
        Reset();  // the bot leaves every channel
    } else if (command == "PART" && Lists(message.Param(0), channel, mapping_)) {
        members_.erase(Key(nick));
        if (own) Reset();
        events.push_back({Kind::Left, nick, {}});
    } else if (command == "KICK" && names(0)) {
        const std::string& kicked = message.Param(1);
        members_.erase(Key(kicked));
        if (IrcEquals(kicked, self, mapping_)) Reset();
        events.push_back({Kind::Left, kicked, nick});
    } else if (command == "QUIT" && members_.erase(Key(nick)) > 0) {
        events.push_back({Kind::Left, nick, {}});
    } else if (command == "NICK" && !message.Last().empty()) {
        if (auto node = members_.extract(Key(nick))) {
            node.key() = Key(message.Last());
            node.mapped().nick = message.Last();
            members_.insert(std::move(node));
        }
    } else if (command == "MODE" && names(0)) {
        Modes(message, support, events);
    } else if (command == "353" && message.params.size() >= 3 && names(message.params.size() >= 4 ? 2 : 1)) {
        Names(message, support);
    } else if (command == "366" && names(1)) {
        EndOfNames(events);
    }
    return events;
}

void Membership::Names(const IrcMessage& message, const ServerSupport& support) {
    // ":srv 353 me = #chan :@me +other third", possibly over several lines;
    // some servers leave out the channel type ("= "), some send every
    // status a nick has ("@+me") or the whole mask ("@me!u@h").
    if (!std::exchange(namesOpen_, true)) names_.clear();
    std::string_view list = message.Last();
    while (!list.empty()) {
        const auto blank = list.find(' ');
        std::string_view name = list.substr(0, blank);
        list.remove_prefix(blank == std::string_view::npos ? list.size() : blank + 1);
        Member member;
        while (!name.empty() && support.IsPrefixSymbol(name.front())) {
            if (const char mode = support.ModeOfSymbol(name.front())) member.status += mode;
            name.remove_prefix(1);
        }
        member.nick = name.substr(0, name.find('!'));
        if (!member.nick.empty()) names_[Key(member.nick)] = std::move(member);
    }
}

void Membership::EndOfNames(std::vector<ChannelEvent>& events) {
    if (!std::exchange(joined_, true)) {
        members_ = std::exchange(names_, {});
        namesOpen_ = false;
        events.push_back({Kind::NamesEnded, {}, {}});
        return;
    }
    if (!std::exchange(namesOpen_, false)) return;  // no names came: nothing to learn
    // A later reply (someone asked for it): whoever shows up in it without
    // having been seen coming in is new all the same.
    for (const auto& [key, member] : names_)
        if (!members_.contains(key)) events.push_back({Kind::Joined, member.nick, {}});
    members_ = std::exchange(names_, {});
}

// ":nick!u@h MODE #chan +ov-k alice bob key": status modes name a member,
// other modes take their arguments as CHANMODES says.
void Membership::Modes(const IrcMessage& message, const ServerSupport& support, std::vector<ChannelEvent>& events) {
    const std::string by = message.Nick();
    bool adding = true;
    std::size_t argument = 2;
    for (const char mode : message.Param(1)) {
        if (mode == '+' || mode == '-') {
            adding = mode == '+';
            continue;
        }
        const std::string& target = support.TakesArgument(mode, adding) ? message.Param(argument++) : std::string();
        if (!support.IsStatusMode(mode)) {
            events.push_back({Kind::Mode, {}, by, mode, adding});
            continue;
        }
        if (const auto found = members_.find(Key(target)); found != members_.end()) {
            std::string& status = found->second.status;
            const auto at = status.find(mode);
            if (adding && at == std::string::npos) status += mode;
            if (!adding && at != std::string::npos) status.erase(at, 1);
        }
        events.push_back({Kind::Status, target, by, mode, adding});
    }
}

}  // namespace tovik
