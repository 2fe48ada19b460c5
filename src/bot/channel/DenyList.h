#pragma once
// Nicks whose private messages are reported but not answered. Entries keep
// the case in which the operator typed them; no two are equal after
// Windows-1252 lowercasing, and removing one keeps the others in order.

#include <string>
#include <string_view>
#include <vector>

namespace tovik {

class DenyList {
public:
    bool IsDenied(std::string_view nick) const;
    // True when the list changed.
    bool DenyNick(std::string_view nick);
    bool AllowNick(std::string_view nick);
    const std::vector<std::string>& Entries() const { return entries_; }

private:
    std::vector<std::string>::const_iterator Find(std::string_view nick) const;
    std::vector<std::string> entries_;
};

}  // namespace tovik
