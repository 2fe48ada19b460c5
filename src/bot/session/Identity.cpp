#include "bot/session/Identity.h"

#include "profile/ProfileStore.h"

namespace tovik {

std::string ConfiguredNick(const ProfileFile& profile) { return profile.ReadValue("IRC", "BotNick", "[]B0T[]"); }

std::string KnownNick(const ProfileFile& profile) { return profile.ReadValue("IRC", "BotNick", "Tovik-B0T"); }

Identity::Outcome Identity::Follow(const IrcMessage& message, std::string_view configured) {
    const std::string before = nicks_.Held();
    Outcome out{nicks_.Follow(message, configured, support_), std::nullopt};
    if (nicks_.Held() != before && !nicks_.Held().empty()) out.took = nicks_.Held();
    return out;
}

}  // namespace tovik
