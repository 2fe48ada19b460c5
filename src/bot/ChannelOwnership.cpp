#include "bot/ChannelOwnership.h"

#include <vector>

#include "text/Cp1252.h"

namespace tovik {

namespace {

// The words of a received line after its prefix: command, middle
// parameters, and the trailing one (after " :") as a single last word.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    if (!line.empty() && line.front() == ':') {
        const auto blank = line.find(' ');
        line = blank == std::string_view::npos ? std::string_view{} : line.substr(blank + 1);
    }
    while (!line.empty()) {
        if (line.front() == ':') {
            words.push_back(line.substr(1));
            break;
        }
        const auto blank = line.find(' ');
        words.push_back(line.substr(0, blank));
        if (blank == std::string_view::npos) break;
        line = line.substr(blank + 1);
    }
    return words;
}

bool Same(std::string_view a, std::string_view b) { return EqualsIgnoreCase(a, b); }

// Nick prefixes that mean channel operator or more (owner, admin).
bool IsOperatorPrefix(char c) { return c == '@' || c == '~' || c == '&'; }

// Channel modes that take an argument: always, and "l" only when set.
bool TakesArgument(char mode, bool adding) {
    return std::string_view("ohvbeIkqaj").find(mode) != std::string_view::npos || (mode == 'l' && adding);
}

std::string_view JoinRefusal(std::string_view numeric) {
    if (numeric == "471") return "der Channel ist voll";
    if (numeric == "473") return "nur mit Einladung";
    if (numeric == "474") return "der Bot ist dort gebannt";
    if (numeric == "475") return "der Channel hat einen Schl\xfcssel";
    return {};
}

}  // namespace

void ChannelOwnership::Reset() { *this = ChannelOwnership{}; }

bool ChannelOwnership::Owns(std::string_view channel) const {
    return !owned_.empty() && owned_ == LowerAnsi(channel);
}

std::optional<std::string> ChannelOwnership::Lost(std::string_view channel, std::string_view why) {
    owned_.clear();
    if (told_) return std::nullopt;
    told_ = true;
    return "Kommando-Channel " + std::string(channel) + ": " + std::string(why) +
           ". Bis zur n\xe4" "chsten Verbindung gehen keine Meldungen dorthin, und Befehle von dort gelten nicht.";
}

std::optional<std::string> ChannelOwnership::Follow(std::string_view line, std::string_view channel,
                                                    std::string_view nick) {
    const auto words = Words(line);
    if (words.empty()) return std::nullopt;
    const std::string_view command = words[0];

    if (command == "353" && words.size() >= 5 && Same(words[3], channel)) {
        // ":srv 353 me = #chan :@me +other third", possibly over several lines.
        if (namesChannel_.empty()) opInNames_ = false;
        namesChannel_ = LowerAnsi(channel);
        std::string_view names = words[4];
        while (!names.empty()) {
            const auto blank = names.find(' ');
            std::string_view name = names.substr(0, blank);
            names = blank == std::string_view::npos ? std::string_view{} : names.substr(blank + 1);
            bool op = false;
            while (!name.empty() && std::string_view("@~&%+!").find(name.front()) != std::string_view::npos) {
                op = op || IsOperatorPrefix(name.front());
                name.remove_prefix(1);
            }
            if (op && Same(name, nick)) opInNames_ = true;
        }
        return std::nullopt;
    }
    if (command == "366" && words.size() >= 3 && Same(words[2], channel)) {
        const bool op = !namesChannel_.empty() && opInNames_;
        namesChannel_.clear();
        if (op) {
            owned_ = LowerAnsi(channel);
            return std::nullopt;
        }
        return Lost(channel, "er geh\xf6rt schon jemand anderem");
    }
    if (!JoinRefusal(command).empty() && words.size() >= 3 && Same(words[2], channel))
        return Lost(channel, "der Bot kann ihn nicht betreten, " + std::string(JoinRefusal(command)));
    if (command == "MODE" && words.size() >= 3 && Same(words[1], channel)) {
        bool adding = true;
        std::size_t argument = 3;
        for (const char mode : words[2]) {
            if (mode == '+' || mode == '-') {
                adding = mode == '+';
                continue;
            }
            if (!TakesArgument(mode, adding)) continue;
            const std::string_view target = argument < words.size() ? words[argument] : std::string_view{};
            ++argument;
            if (mode != 'o' || !Same(target, nick)) continue;
            if (adding) {
                owned_ = LowerAnsi(channel);
            } else if (Owns(channel)) {
                return Lost(channel, "der Bot ist dort kein Operator mehr");
            }
        }
        return std::nullopt;
    }
    if (command == "KICK" && words.size() >= 3 && Same(words[1], channel) && Same(words[2], nick) && Owns(channel))
        return Lost(channel, "der Bot wurde hinausgeworfen");
    return std::nullopt;
}

}  // namespace tovik
