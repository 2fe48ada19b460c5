#pragma once
// Nicks whose private messages are reported but not answered. Entries keep
// the case in which the operator typed them; no two are equal after
// Windows-1252 lowercasing, and removing one keeps the others in order.
// The list outlives connections, so it keeps that rule of its own; a
// sender is denied, too, when the server's CASEMAPPING calls him the same
// as an entry ("[Foo]" is "{foo}" on most servers).

#include <string>
#include <string_view>
#include <vector>

#include "irc/Message.h"

namespace tovik {

class DenyList {
public:
    bool IsDenied(std::string_view nick) const;
    bool IsDenied(std::string_view nick, CaseMapping mapping) const;
    // True when the list changed.
    bool DenyNick(std::string_view nick);
    bool AllowNick(std::string_view nick);
    const std::vector<std::string>& Entries() const { return entries_; }

private:
    std::vector<std::string>::const_iterator Find(std::string_view nick) const;
    std::vector<std::string> entries_;
};

}  // namespace tovik
