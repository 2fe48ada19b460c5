#include "bot/session/OwnHost.h"

#include "bot/photo/OfferAddress.h"

namespace tovik {

// "nick!user@host" (302 writes "nick=+user@host", an operator "nick*=...").
void OwnHost::Take(std::string_view mask, std::string_view nick, CaseMapping mapping) {
    const std::size_t at = mask.rfind('@');
    const std::size_t end = mask.find_first_of("!*=");
    if (at == std::string_view::npos || end == std::string_view::npos || end > at) return;
    if (!IrcEquals(mask.substr(0, end), nick, mapping)) return;
    if (std::string address = CanonicalAddress(mask.substr(at + 1)); !address.empty()) address_ = std::move(address);
}

void OwnHost::Follow(const IrcMessage& message, std::string_view nick, CaseMapping mapping) {
    if (message.command == "JOIN") return Take(message.prefix, nick, mapping);
    if (message.command != "001" && message.command != "302") return;
    // The welcome's last word is the mask, of the nick the welcome is
    // addressed to; USERHOST answers with several.
    if (message.command == "001") nick = message.Param(0);
    const std::string_view text = message.Last();
    std::size_t start = message.command == "001" ? text.rfind(' ') + 1 : 0;
    while (start < text.size()) {
        const std::size_t blank = text.find(' ', start);
        Take(text.substr(start, blank - start), nick, mapping);
        if (blank == std::string_view::npos) break;
        start = blank + 1;
    }
}

}  // namespace tovik
