#include "irc/IRC.h"

#include "text/Errors.h"

namespace tovik {
namespace {

constexpr auto npos = std::string_view::npos;

std::string Concat(std::initializer_list<std::string_view> pieces) {
    std::size_t size = 0;
    for (auto p : pieces) size += p.size();
    std::string out;
    out.reserve(size);
    for (auto p : pieces) out.append(p);
    return out;
}

// Everything after the text colon: the first ":" after the prefix. A host in
// the prefix may be an IPv6 address ("nick!u@2001:db8::1"), so the search
// starts at the blank that ends the prefix; a line without a prefix is
// searched from its second character. No colon gives empty text.
std::string_view TrailingText(std::string_view line) {
    if (line.size() < 2) return {};
    std::size_t from = 1;
    if (line.front() == ':') {
        const auto blank = line.find(' ');
        if (blank != npos) from = blank;
    }
    const auto colon = line.find(':', from);
    return colon == npos ? std::string_view{} : line.substr(colon + 1);
}

// The word that starts right after the blank at `blank`: its first character
// is always taken, even a blank, and it runs to the next blank or the end.
std::string WordAfter(std::string_view text, std::size_t blank, bool rest) {
    const auto start = blank + 1;
    if (start >= text.size()) return {};
    if (rest) return std::string(text.substr(start));
    const auto end = text.find(' ', start + 1);
    return std::string(text.substr(start, end == npos ? npos : end - start));
}

// The field strictly between the n-th and the (n+1)-th blank of a line that
// starts with ":"; every blank counts, so adjacent blanks give an empty field.
std::string FieldAfterBlank(std::string_view line, int n) {
    if (line.empty() || line.front() != ':') return {};
    std::size_t from = line.find(' ');
    for (int i = 1; i < n && from != npos; ++i) from = line.find(' ', from + 1);
    if (from == npos) return {};
    const auto to = line.find(' ', from + 1);
    if (to == npos) return {};
    return std::string(line.substr(from + 1, to - from - 1));
}

}  // namespace

std::string MakeLogin(std::string_view nick, std::string_view user, std::string_view realname) {
    return Concat({"NICK ", nick, "\n", "USER ", user, " 0 0 :", realname, "\n"});
}

std::string MakeJoin(std::string_view channel) { return Concat({"JOIN ", channel, "\n"}); }

std::string MakePrivMsg(std::string_view target, std::string_view text) {
    return Concat({"PRIVMSG ", target, " :", text, "\n"});
}

std::string MakeMode(std::string_view channel, std::string_view modes, std::string_view argument) {
    // Both separators always, so an empty argument leaves a blank before "\n".
    return Concat({"MODE ", channel, " ", modes, " ", argument, "\n"});
}

std::string MakeTopic(std::string_view channel, std::string_view topic) {
    return Concat({"TOPIC ", channel, " :", topic, "\n"});
}

std::string MakeKick(std::string_view channel, std::string_view nick, std::string_view reason) {
    return Concat({"KICK ", channel, " ", nick, " :", reason, "\n"});
}

std::string MakeInvite(std::string_view nick, std::string_view channel) {
    return Concat({"INVITE ", nick, " ", channel, "\n"});
}

std::string MakePong(std::string_view pingLine) {
    // Servers send "PING :token"; the six characters "PING :" are dropped
    // without looking, and the token goes back without a colon.
    return Concat({"PONG ", pingLine.size() > 6 ? pingLine.substr(6) : std::string_view{}, "\n"});
}

std::string MakeIdentReply(std::string_view ports, std::string_view system, std::string_view user) {
    return Concat({ports, " : USERID : ", system, " : ", user, "\n"});
}

std::string MakeRawLine(std::string_view line) { return Concat({line, "\n"}); }

std::string RemoveLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\r' && c != '\n' && c != '\0') out += c;
    return out;
}

std::string OnTheWire(std::string line) {
    if (!line.empty() && line.back() == '\n' && (line.size() < 2 || line[line.size() - 2] != '\r'))
        line.insert(line.size() - 1, 1, '\r');
    return line;
}

std::string_view WithoutTags(std::string_view line) {
    if (line.empty() || line.front() != '@') return line;
    const auto blank = line.find(' ');
    if (blank == npos) return {};
    const auto start = line.find_first_not_of(' ', blank);
    return start == npos ? std::string_view{} : line.substr(start);
}

bool IsPing(std::string_view line) { return line.substr(0, 4) == "PING"; }

std::string GetNick(std::string_view line) {
    if (line.empty() || line.front() != ':') return {};
    // The "!" is searched in the whole line, not only in the prefix.
    const auto bang = line.find('!', 1);
    return bang == npos ? std::string{} : std::string(line.substr(1, bang - 1));
}

std::string GetCommand(std::string_view line) { return FieldAfterBlank(line, 1); }

std::string GetTarget(std::string_view line) { return FieldAfterBlank(line, 2); }

std::string GetText(std::string_view line) {
    return std::string(TrailingText(line));
}

std::string GetFirstWord(std::string_view line) { return FirstWordOf(TrailingText(line)); }

std::string GetSecondWord(std::string_view line, bool rest) { return SecondWordOf(TrailingText(line), rest); }

std::string GetThirdWord(std::string_view line, bool rest) { return ThirdWordOf(TrailingText(line), rest); }

std::string FirstWordOf(std::string_view text) { return std::string(text.substr(0, text.find(' '))); }

std::string SecondWordOf(std::string_view text, bool rest) {
    const auto first = text.find(' ');
    if (first == npos) return {};
    return WordAfter(text, first, rest);
}

std::string ThirdWordOf(std::string_view text, bool rest) {
    const auto first = text.find(' ');
    if (first == npos) return {};
    const auto second = text.find(' ', first + 1);
    if (second == npos) return {};
    return WordAfter(text, second, rest);
}

int IPPart(std::string_view address, int n) {
    int part = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < address.size(); ++i) {
        if (address[i] == '.') {
            if (++part == n) return StrToInt(address.substr(start, i - start));
            start = i + 1;
        }
        // The last character closes a part too, even when it is a "." (then
        // that part is empty and fails the conversion).
        if (i + 1 == address.size() && ++part == n) return StrToInt(address.substr(start));
    }
    return 0;
}

std::uint32_t IPToInteger(std::string_view address) {
    // Unsigned 32-bit arithmetic: overflow wraps, and a part above 255 simply
    // adds into the neighbouring bits.
    const auto part = [&](int n) { return static_cast<std::uint32_t>(IPPart(address, n)); };
    return (part(1) << 24) + (part(2) << 16) + (part(3) << 8) + part(4);
}

}  // namespace tovik
