#include "bot/session/ServerSupport.h"

#include "irc/Lists.h"

namespace tovik {

namespace {

constexpr auto npos = std::string_view::npos;

std::array<std::string, 4> ChanModeGroups(std::string_view value) {
    std::array<std::string, 4> groups;
    for (std::string& group : groups) {
        const auto comma = value.find(',');
        group = value.substr(0, comma);
        value.remove_prefix(comma == npos ? value.size() : comma + 1);
    }
    return groups;  // a fifth group and beyond, if ever sent, mean nothing to us
}

}  // namespace

std::vector<std::string_view> IsupportTokens(const IrcMessage& message) {
    std::vector<std::string_view> tokens;
    if (message.command != "005") return tokens;
    // The first parameter is our nick; the trailing text ("are supported by
    // this server") is prose, even when it happens to spell a token.
    const std::size_t end = message.params.size() - (message.trailing ? 1 : 0);
    for (std::size_t n = 1; n < end; ++n) tokens.push_back(message.params[n]);
    return tokens;
}

void ServerSupport::Follow(const IrcMessage& message) {
    const ServerSupport defaults;
    for (std::string_view token : IsupportTokens(message)) {
        const bool withdrawn = token.starts_with('-');
        if (withdrawn) token.remove_prefix(1);
        const auto equals = token.find('=');
        const std::string_view name = token.substr(0, equals);
        const std::string_view value = equals == npos ? std::string_view{} : token.substr(equals + 1);
        if (name == "NICKLEN") {
            const auto length = DecimalNumber<std::size_t>(value);
            nickLen_ = withdrawn || !length || *length == 0 ? std::nullopt : length;
        } else if (name == "CHANMODES") {
            chanModes_ = withdrawn || value.empty() ? defaults.chanModes_ : ChanModeGroups(value);
        } else if (name == "PREFIX") {
            Prefix(withdrawn ? std::string_view("(ov)@+") : value);
        } else if (name == "CHANTYPES") {
            chanTypes_ = withdrawn ? defaults.chanTypes_ : std::string(value);
        } else if (name == "CASEMAPPING") {
            mapping_ = withdrawn ? CaseMapping::Rfc1459 : CaseMappingFromName(value);
        } else if (name == "UTF8ONLY") {
            utf8Only_ = !withdrawn;
        } else if (name == "CLIENTTAGDENY") {
            clientTagDeny_ = withdrawn ? std::string() : std::string(value);
        }
    }
}

void ServerSupport::Prefix(std::string_view value) {
    // "(qaohv)~&@%+"; an empty value says the server has no status modes.
    if (value.empty()) {
        prefixModes_.clear();
        prefixSymbols_.clear();
        return;
    }
    const auto close = value.find(')');
    if (!value.starts_with('(') || close == npos || value.size() - close - 1 != close - 1) return;  // malformed: keep
    prefixModes_ = value.substr(1, close - 1);
    prefixSymbols_ = value.substr(close + 1);
}

bool ServerSupport::TakesArgument(char mode, bool adding) const {
    if (prefixModes_.find(mode) != std::string::npos) return true;
    if (chanModes_[0].find(mode) != std::string::npos || chanModes_[1].find(mode) != std::string::npos) return true;
    return adding && chanModes_[2].find(mode) != std::string::npos;
}

std::size_t ServerSupport::OperatorRank() const {
    const auto op = prefixModes_.find('o');
    if (op != std::string::npos) return op + 1;
    // A server without "o" still names its operators "@".
    const auto at = prefixSymbols_.find('@');
    return at == std::string::npos ? 0 : at + 1;
}

bool ServerSupport::IsOperatorMode(char mode) const {
    const auto at = prefixModes_.find(mode);
    return at != std::string::npos && at < OperatorRank();
}

char ServerSupport::ModeOfSymbol(char symbol) const {
    const auto at = symbol == '\0' ? npos : prefixSymbols_.find(symbol);
    return at == npos || at >= prefixModes_.size() ? '\0' : prefixModes_[at];
}

bool ServerSupport::AllowsClientTag(std::string_view tag) const {
    if (tag.starts_with('+')) tag.remove_prefix(1);
    bool denyAll = false;
    bool listed = false;  // denied by name
    bool excepted = false;
    for (const std::string_view entry : SplitList(clientTagDeny_, ',')) {
        if (entry == "*") denyAll = true;
        else if (entry.starts_with('-') && entry.substr(1) == tag) excepted = true;
        else if (entry == tag) listed = true;
    }
    return denyAll ? excepted : !listed;
}

}  // namespace tovik
