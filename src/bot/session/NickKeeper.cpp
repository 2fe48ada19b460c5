#include "bot/session/NickKeeper.h"

#include <algorithm>

#include "irc/IRC.h"
#include "bot/session/Charset.h"
#include "text/Literal.h"

namespace tovik {

using namespace literals;

std::string NickKeeper::Variation(std::string_view configured, int number, std::size_t limit) const {
    const std::string suffix = number == 1 ? "_" : std::to_string(number);
    // The suffix must survive the server's cut, or it asks for the refused nick again.
    const std::size_t keep = limit > suffix.size() ? limit - suffix.size() : 0;
    return (std::string(configured.substr(0, keep)) + suffix).substr(0, limit);
}

namespace {

// A refusal that names a nick; a 437 may name a channel the server will not
// let anyone join for a while.
bool NamesNick(const IrcMessage& message, const ServerSupport& support) {
    return message.command != "437" || !support.IsChannel(message.Param(1));
}

}  // namespace

NickKeeper::Outcome NickKeeper::Follow(const IrcMessage& message, std::string_view configured,
                                       const ServerSupport& support) {
    Outcome out;
    const CaseMapping mapping = support.Mapping();
    const std::string& command = message.command;
    const bool refusal = command == "432" || command == "433" || command == "437";
    if (!welcomed_) {
        if (command == "001") {
            welcomed_ = true;
            // ":srv 001 nick :Welcome"; ":srv 001 :Welcome" names nobody.
            if (message.params.size() >= 2 || !message.trailing) held_ = message.Param(0);
        } else if (refusal && NamesNick(message, support)) {
            Refused(message, configured, support, out);
        }
        if (!welcomed_) return out;
    } else if (command == "NICK" && !held_.empty() && IrcEquals(message.Nick(), held_, mapping)) {
        if (!message.Last().empty()) held_ = message.Last();  // ":old!u@h NICK new" and "... NICK :new" alike
    } else if ((command == "435" || command == "447" || command == "432" || command == "437") &&
               NamesNick(message, support)) {
        takeBackStopped_ = true;  // the server will not let us change nick on this connection
    } else {
        TakeBack(message, configured, mapping, out);
    }
    out.checkTimer = CheckWanted(configured, support);
    return out;
}

void NickKeeper::Refused(const IrcMessage& message, std::string_view configured, const ServerSupport& support,
                         Outcome& out) {
    if (gaveUp_) return;
    const std::string nick = RemoveLineBreaks(configured);
    const std::string& refused = message.Param(1);
    const bool variation = refusals_ >= 2;  // the last NICK asked for one
    if (message.command == "432" && !variation) {
        gaveUp_ = out.giveUp = true;
        const std::string reason = message.params.size() > 2 ? ServerText(message.Last()) : std::string();
        out.told = "Nick " + ServerText(refused.empty() ? nick : refused) + " abgelehnt" +
                   (reason.empty() ? "" : ": " + reason) +
                   std::string(". Neuer Versuch mit der nächsten Verbindung."_w1252);
        return;
    }
    // The configured nick passed the server's rules, only taken: a longer
    // variation may be what it calls erroneous.
    if (message.command == "432" && asked_.size() > nick.size()) lengthGuess_ = nick.size();
    if (++refusals_ == 1) {
        asked_ = nick;
        out.registerAgain = true;
        return;
    }
    // What the server keeps: its NICKLEN, or, before it has said, what a
    // refusal shows when it names our nick cut short.
    std::size_t limit = support.NickLen().value_or(std::string::npos);
    if (!support.NickLen() && refused.size() < asked_.size() &&
        IrcEquals(asked_.substr(0, refused.size()), refused, support.Mapping()))
        limit = refused.size();
    if (lengthGuess_) limit = std::min(limit, *lengthGuess_);
    for (; refusals_ - 1 <= kMaxVariations; ++refusals_) {
        const int number = refusals_ - 1;
        std::string variation = Variation(nick, number, limit);
        if (variation.empty() || IrcEquals(variation, refused, support.Mapping()) ||
            IrcEquals(variation, nick, support.Mapping()))
            continue;
        asked_ = variation;
        // The first leaves at once like the registration; later ones at the
        // pace, so that a server refusing everything is not hammered.
        out.send.emplace_back(MakeRawLine("NICK " + variation), number == 1 ? LineClass::Urgent : LineClass::Normal);
        return;
    }
    gaveUp_ = out.giveUp = true;
    out.told = "Nick " + nick + std::string(" und alle Varianten sind vergeben. Neuer Versuch mit der nächsten "
                                            "Verbindung."_w1252);
}

void NickKeeper::TakeBack(const IrcMessage& message, std::string_view configured, CaseMapping mapping,
                          Outcome& out) const {
    if (takeBackStopped_ || held_.empty() || IrcEquals(held_, configured, mapping)) return;
    const std::string& command = message.command;
    bool free = false;
    if (command == "QUIT") {
        free = IrcEquals(message.Nick(), configured, mapping);
    } else if (command == "NICK") {
        free = IrcEquals(message.Nick(), configured, mapping) && !IrcEquals(message.Last(), configured, mapping);
    } else if (command == "303") {
        // ":srv 303 me :a b", ":srv 303 me a" or ":srv 303 me :" (nobody online).
        free = true;
        for (std::size_t n = 1; n < message.params.size(); ++n) {
            std::string_view online = message.params[n];
            while (!online.empty()) {
                const auto blank = online.find(' ');
                if (IrcEquals(online.substr(0, blank), configured, mapping)) free = false;
                online.remove_prefix(blank == std::string_view::npos ? online.size() : blank + 1);
            }
        }
    }
    if (free) out.send.emplace_back(MakeRawLine("NICK " + RemoveLineBreaks(configured)), LineClass::Normal);
}

bool NickKeeper::CheckWanted(std::string_view configured, const ServerSupport& support) const {
    return !held_.empty() && !takeBackStopped_ && !IrcEquals(held_, configured, support.Mapping());
}

std::optional<std::string> NickKeeper::Check(std::string_view configured, const ServerSupport& support) const {
    if (!CheckWanted(configured, support)) return std::nullopt;
    return MakeRawLine("ISON " + RemoveLineBreaks(configured));
}

}  // namespace tovik
