#pragma once
// Who is in one channel, and with which status, as the server tells it:
// JOIN, PART, KICK, QUIT, NICK, MODE and the NAMES reply, the way a good
// client keeps one list per channel instead of guessing from single lines.
//
// Following a line yields what changed in the channel, for whoever decides
// what that means (the door of the command channel). Statuses are the
// server's status mode letters (PREFIX): "o", "v", ...
//
// Pure and Qt-free: fed one parsed line at a time.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "bot/session/ServerSupport.h"
#include "irc/Message.h"

namespace tovik {

struct ChannelEvent {
    enum class Kind {
        Joined,     // `nick` came in (or turned up in a later NAMES reply)
        Left,       // `nick` went: PART, KICK (`by` kicked), QUIT
        NamesEnded, // the reply that follows the bot's own JOIN is complete
        Status,     // `by` gave (`adding`) or took `mode` of `nick`
        Mode,       // `by` set or unset a channel mode
    };
    Kind kind;
    std::string nick;
    std::string by;
    char mode = 0;
    bool adding = true;
};

class Membership {
public:
    struct Member {
        std::string nick;    // as the server spells it now
        std::string status;  // status mode letters
    };

    // Nobody known: a new connection, or the bot has left.
    void Reset() { *this = Membership{}; }
    // Follows one line for `channel`, the bot holding `self`.
    std::vector<ChannelEvent> Follow(const IrcMessage& message, std::string_view channel, std::string_view self,
                                     const ServerSupport& support);

    const Member* Find(std::string_view nick) const;
    std::size_t Size() const { return members_.size(); }

private:
    void Names(const IrcMessage& message, const ServerSupport& support);
    void EndOfNames(std::vector<ChannelEvent>& events);
    void Modes(const IrcMessage& message, const ServerSupport& support, std::vector<ChannelEvent>& events);
    std::string Key(std::string_view nick) const { return IrcLower(nick, mapping_); }

    CaseMapping mapping_ = CaseMapping::Rfc1459;
    std::map<std::string, Member> members_;  // by the nick in the server's lower case
    std::map<std::string, Member> names_;    // a NAMES reply being read
    bool namesOpen_ = false;
    bool joined_ = false;  // the reply to the bot's JOIN has ended
};

}  // namespace tovik
