#pragma once
// What one server says about itself in its ISUPPORT reply (numeric 005),
// sent once after the welcome, possibly over several lines:
//
//   :srv 005 me NICKLEN=30 CHANMODES=beI,k,l,imnpst PREFIX=(qaohv)~&@%+ CASEMAPPING=ascii :are supported
//               ^-- one token each: NAME, NAME=value, or -NAME (withdrawn) --^
//
// Until it has spoken, the bot assumes what a typical server does. The
// readers that need the server's rules (channel modes and their arguments,
// nick lengths, how names compare) ask here instead of guessing from letters.
//
// Pure and Qt-free: fed one parsed line at a time, for one connection.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "irc/Message.h"

namespace tovik {

// The tokens of a 005 line (between the bot's nick and the trailing text);
// nothing for any other line.
std::vector<std::string_view> IsupportTokens(const IrcMessage& message);

class ServerSupport {
public:
    // A new connection: the defaults again.
    void Reset() { *this = ServerSupport{}; }
    // Takes in what a 005 line says; other lines change nothing.
    void Follow(const IrcMessage& message);

    // The longest nick the server keeps; nothing: no limit said.
    std::optional<std::size_t> NickLen() const { return nickLen_; }
    CaseMapping Mapping() const { return mapping_; }
    bool Utf8Only() const { return utf8Only_; }

    // Whether a channel mode letter takes an argument when set or unset.
    bool TakesArgument(char mode, bool adding) const;
    // Status modes (PREFIX) and those that mean channel operator or higher:
    // the ones that stand left of "o", and "o" itself. Until the server has
    // sent PREFIX, the bot assumes what common servers announce,
    // "(qaohv)~&@%+", so that a NAMES reply and a MODE line read alike.
    bool IsStatusMode(char mode) const { return prefixModes_.find(mode) != std::string::npos; }
    bool IsOperatorMode(char mode) const;
    bool IsPrefixSymbol(char symbol) const { return symbol != '\0' && prefixSymbols_.find(symbol) != std::string::npos; }
    // The status mode a NAMES symbol stands for ('@': 'o'), or 0.
    char ModeOfSymbol(char symbol) const;
    // Whether a name is a channel's (CHANTYPES; "#&" until said).
    bool IsChannel(std::string_view name) const {
        return !name.empty() && chanTypes_.find(name.front()) != std::string::npos;
    }

    // Whether a client tag ("typing" or "+typing") may be sent, as
    // CLIENTTAGDENY says: "*" denies all, "-name" excepts one.
    bool AllowsClientTag(std::string_view tag) const;

private:
    void Prefix(std::string_view value);
    std::size_t OperatorRank() const;  // how many status modes count as operator

    std::optional<std::size_t> nickLen_;
    CaseMapping mapping_ = CaseMapping::Rfc1459;
    bool utf8Only_ = false;
    std::array<std::string, 4> chanModes_{"beI", "k", "l", "imnpst"};
    std::string prefixModes_ = "qaohv";
    std::string prefixSymbols_ = "~&@%+";
    std::string chanTypes_ = "#&";
    std::string clientTagDeny_;
};

}  // namespace tovik
