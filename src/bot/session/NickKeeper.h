#pragma once
// The nick the bot holds on one connection, and how it gets there.
//
// During registration a taken nick (433, or 437: held for a while) is
// answered with the full registration once (the bot's old session may just
// have gone), then with variations: "nick_", "nick2", "nick3", ... each cut to what the server
// keeps, so that a server cutting nicks does not refuse the same nick again
// and again at round-trip speed. A variation the server calls erroneous
// (432; before its 005 the bot cannot know how long a nick may be) gets the
// next one, cut to the configured nick's length when it was longer. After
// nine refused variations, or when the server calls the configured nick
// itself erroneous, the operator is told and the connection is given up:
// the next attempt starts over. Refusals count only while the bot is
// registering; the welcome (001) ends that.
//
// Once welcomed under another nick, the bot takes its own back when the
// holder leaves or changes nick, or when an ISON reply no longer lists it;
// the caller asks ISON each check interval while CheckWanted says so. A
// server that refuses the change (432, 435, 437 for a nick, 447) ends the
// take-back for the connection: asking again would only be refused again.
//
// The held nick is the server's word about this connection alone: the
// target of the first welcome, then the bot's own NICK as the server echoes
// it. A later welcome, or one without a target, changes nothing.
//
// Nicks compare by the server's CASEMAPPING (rfc1459 while it has not said).
// Pure and Qt-free: fed one parsed line at a time.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bot/link/SendQueue.h"
#include "bot/session/ServerSupport.h"
#include "irc/Message.h"

namespace tovik {

class NickKeeper {
public:
    static constexpr int kMaxVariations = 9;

    struct Outcome {
        std::vector<std::pair<std::string, LineClass>> send;  // complete lines
        bool registerAgain = false;       // send the whole NICK and USER registration
        std::optional<std::string> told;  // German, for the operator
        bool giveUp = false;              // end this connection; retry as after a failed one
        bool checkTimer = false;          // whether the ISON check should run now
    };

    // A new connection: no nick held, no refusal seen.
    void Reset() { *this = NickKeeper{}; }

    // Follows one received line; `configured` is the nick the bot wants.
    Outcome Follow(const IrcMessage& message, std::string_view configured, const ServerSupport& support);
    // The check interval has passed: the ISON line, when the check should run.
    std::optional<std::string> Check(std::string_view configured, const ServerSupport& support) const;
    bool CheckWanted(std::string_view configured, const ServerSupport& support) const;

    // Whether the line may concern the keeper at all: before the welcome
    // only refusals and the welcome itself do. Saves the caller reading the
    // configured nick for every line of a registration.
    bool Concerns(const IrcMessage& message) const {
        const std::string& c = message.command;
        return welcomed_ || c == "001" || c == "432" || c == "433" || c == "437";
    }

    // Empty until the welcome (001), and after one that named no nick.
    const std::string& Held() const { return held_; }

private:
    void Refused(const IrcMessage& message, std::string_view configured, const ServerSupport& support,
                 Outcome& out);
    void TakeBack(const IrcMessage& message, std::string_view configured, CaseMapping mapping, Outcome& out) const;
    std::string Variation(std::string_view configured, int number, std::size_t limit) const;

    std::string held_;
    std::string asked_;  // the nick the last registration or variation asked for
    int refusals_ = 0;
    std::optional<std::size_t> lengthGuess_;  // from an erroneous variation
    bool welcomed_ = false;
    bool gaveUp_ = false;
    bool takeBackStopped_ = false;
};

}  // namespace tovik
