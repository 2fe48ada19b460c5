#pragma once
// Who the bot is on this connection, in one place that every reader asks:
// the nick it holds (the server's word, kept by the nick keeper with its
// refusals, variations and take-back), the nick the profile configures, and
// whether a nick names the bot itself, compared as the server compares
// nicks (CASEMAPPING). A line the bot itself sent (a ".say" to its own
// nick, an answer to a nick it has since taken back) comes back as a
// stranger's if nobody asks here first.
//
// Pure and Qt-free: fed one parsed line at a time.

#include <optional>
#include <string>
#include <string_view>

#include "bot/session/NickKeeper.h"
#include "bot/session/ServerSupport.h"
#include "irc/Message.h"

namespace tovik {

class ProfileFile;

// `[IRC] BotNick` as registration reads it: the nick asked for ("[]B0T[]"
// when the profile has none).
std::string ConfiguredNick(const ProfileFile& profile);
// `[IRC] BotNick` as every line's handling reads it ("Tovik-B0T" when the
// profile has none): the name the topic shows, and the nick private
// messages reach the bot under besides the one it holds.
std::string KnownNick(const ProfileFile& profile);

class Identity {
public:
    explicit Identity(const ServerSupport& support) : support_(support) {}

    // A new connection: nobody yet.
    void Reset() { nicks_.Reset(); }

    bool Concerns(const IrcMessage& message) const { return nicks_.Concerns(message); }
    struct Outcome {
        NickKeeper::Outcome nicks;
        // The bot holds this nick now, since this line.
        std::optional<std::string> took;
    };
    // Follows one received line; `configured` is the nick the bot wants.
    Outcome Follow(const IrcMessage& message, std::string_view configured);
    // The ISON line, when the check interval has passed and it is wanted.
    std::optional<std::string> Check(std::string_view configured) const { return nicks_.Check(configured, support_); }

    // Empty until the server's welcome named it.
    const std::string& Held() const { return nicks_.Held(); }
    // The bot's nick: the one held, or while the server has not named one,
    // `known`, the one the profile knows it by (KnownNick).
    std::string_view Self(std::string_view known) const { return Held().empty() ? known : Held(); }
    // Whether `nick` is the bot itself.
    bool IsMe(std::string_view nick, std::string_view known) const {
        return IrcEquals(nick, Self(known), support_.Mapping());
    }
    // Whether a message to `target` is meant for the bot: its own nick, or
    // the one the profile knows it by.
    bool AddressedToMe(std::string_view target, std::string_view known) const {
        return IsMe(target, known) || IrcEquals(target, known, support_.Mapping());
    }

private:
    const ServerSupport& support_;
    NickKeeper nicks_;
};

}  // namespace tovik
