#include "irc/Message.h"

namespace tovik {
namespace {

constexpr auto npos = std::string_view::npos;

// Cuts the next blank-separated word off the front of `rest`; runs of
// blanks count as one separator.
std::string_view NextWord(std::string_view& rest) {
    const auto start = rest.find_first_not_of(' ');
    if (start == npos) {
        rest = {};
        return {};
    }
    rest.remove_prefix(start);
    const auto end = rest.find(' ');
    const std::string_view word = rest.substr(0, end);
    rest.remove_prefix(end == npos ? rest.size() : end);
    return word;
}

std::string UnescapeTagValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
            continue;
        }
        if (++i == value.size()) break;  // a lone backslash at the end is dropped
        switch (value[i]) {
        case ':': out += ';'; break;
        case 's': out += ' '; break;
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        default: out += value[i]; break;  // "\\" and unknown escapes: the character itself
        }
    }
    return out;
}

void ParseTags(std::string_view tags, IrcMessage& message) {
    while (!tags.empty()) {
        const auto semicolon = tags.find(';');
        const std::string_view tag = tags.substr(0, semicolon);
        tags.remove_prefix(semicolon == npos ? tags.size() : semicolon + 1);
        if (tag.empty()) continue;
        const auto equals = tag.find('=');
        message.tags.emplace_back(std::string(tag.substr(0, equals)),
                                  equals == npos ? std::string() : UnescapeTagValue(tag.substr(equals + 1)));
    }
}

const std::string kEmpty;

}  // namespace

IrcMessage ParseMessage(std::string_view line) {
    IrcMessage message;
    std::string_view rest = line;
    if (!rest.empty() && rest.front() == '@') {
        const std::string_view tags = NextWord(rest);
        ParseTags(tags.substr(1), message);
    }
    rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
    if (!rest.empty() && rest.front() == ':') message.prefix = NextWord(rest).substr(1);
    message.command = NextWord(rest);
    while (true) {
        rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
        if (rest.empty()) break;
        if (rest.front() == ':') {
            message.params.emplace_back(rest.substr(1));
            message.trailing = true;
            break;
        }
        message.params.emplace_back(NextWord(rest));
    }
    return message;
}

std::string IrcMessage::Nick() const {
    const auto end = prefix.find_first_of("!@");
    return prefix.substr(0, end);
}

std::string IrcMessage::Sender() const {
    const auto bang = prefix.find('!');
    return bang == std::string::npos ? std::string() : prefix.substr(0, bang);
}

const std::string& IrcMessage::Param(std::size_t n) const { return n < params.size() ? params[n] : kEmpty; }

const std::string& IrcMessage::Last() const { return params.empty() ? kEmpty : params.back(); }

std::optional<std::string> IrcMessage::Tag(std::string_view key) const {
    for (const auto& [name, value] : tags)
        if (name == key) return value;
    return std::nullopt;
}

CaseMapping CaseMappingFromName(std::string_view name) {
    if (name == "ascii") return CaseMapping::Ascii;
    if (name == "strict-rfc1459") return CaseMapping::StrictRfc1459;
    return CaseMapping::Rfc1459;
}

namespace {

char IrcFold(char c, CaseMapping mapping) {
    if (c >= 'A' && c <= 'Z') return static_cast<char>(c - 'A' + 'a');
    if (mapping == CaseMapping::Ascii) return c;
    if (c == '[') return '{';
    if (c == ']') return '}';
    if (c == '\\') return '|';
    if (c == '~' && mapping == CaseMapping::Rfc1459) return '^';
    return c;
}

}  // namespace

// Every received line is compared with a nick or two; no copy for that.
bool IrcEquals(std::string_view a, std::string_view b, CaseMapping mapping) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (IrcFold(a[i], mapping) != IrcFold(b[i], mapping)) return false;
    return true;
}

std::string IrcLower(std::string_view name, CaseMapping mapping) {
    std::string lower(name);
    for (char& c : lower) c = IrcFold(c, mapping);
    return lower;
}

}  // namespace tovik
