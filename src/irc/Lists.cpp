#include "irc/Lists.h"

namespace tovik {

std::vector<std::string_view> SplitList(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    while (!text.empty()) {
        const auto at = text.find(separator);
        if (at != 0) pieces.push_back(text.substr(0, at));
        if (at == std::string_view::npos) break;
        text.remove_prefix(at + 1);
    }
    return pieces;
}

std::pair<std::string_view, std::string_view> KeyAndValue(std::string_view item) {
    const auto eq = item.find('=');
    if (eq == std::string_view::npos) return {item, {}};
    return {item.substr(0, eq), item.substr(eq + 1)};
}

std::optional<std::string_view> ListValue(std::string_view list, std::string_view key) {
    for (const std::string_view item : SplitList(list, ',')) {
        const auto [name, value] = KeyAndValue(item);
        if (name == key && item.size() > name.size()) return value;
    }
    return std::nullopt;
}

}  // namespace tovik
