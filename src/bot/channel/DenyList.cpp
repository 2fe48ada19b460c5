#include "bot/channel/DenyList.h"

#include <algorithm>

#include "text/Cp1252.h"

namespace tovik {

std::vector<std::string>::const_iterator DenyList::Find(std::string_view nick) const {
    return std::find_if(entries_.begin(), entries_.end(),
                        [nick](const std::string& entry) { return EqualsIgnoreCase(entry, nick); });
}

bool DenyList::IsDenied(std::string_view nick) const { return Find(nick) != entries_.end(); }

bool DenyList::IsDenied(std::string_view nick, CaseMapping mapping) const {
    return IsDenied(nick) || std::any_of(entries_.begin(), entries_.end(), [&](const std::string& entry) {
               return IrcEquals(entry, nick, mapping);
           });
}

bool DenyList::DenyNick(std::string_view nick) {
    if (IsDenied(nick)) return false;
    entries_.emplace_back(nick);
    return true;
}

bool DenyList::AllowNick(std::string_view nick) {
    const auto it = Find(nick);
    if (it == entries_.end()) return false;
    entries_.erase(it);
    return true;
}

}  // namespace tovik
