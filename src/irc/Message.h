#pragma once
// One received IRC line cut into its parts, the way the protocol defines
// them (RFC 1459 section 2.3.1, with IRCv3 message tags in front):
//
//   @time=2026-12-09T03:18:34.000Z;+typing=active :nick!user@host PRIVMSG #chan :hallo du
//   ^-- tags ------------------------------------^ ^-- prefix ---^ ^command ^params[0]
//                                                                            params[1] = "hallo du"
//
// Parameters are separated by one or more blanks; a parameter that starts
// with ":" is the trailing one and runs to the end of the line, blanks
// included. Servers may send the last parameter without the colon when it
// holds no blank (":old!u@h NICK new", ":srv 303 me nick"), so a reader asks
// for "the last parameter" and never cares which form came.
//
// Every reader of server lines in the bot uses this one parser, once per
// line. Where a reader needs the results of the position-based field
// functions (GetNick's empty sender of a server, the words of GetText), it
// computes them from the parsed parts (Sender, FirstWordOf, ...).
//
// Pure and Qt-free. The parts are copies: a message outlives its line.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tovik {

struct IrcMessage {
    // Tags as sent, keys with their client prefix ("+typing"), values
    // unescaped ("\s" is a blank, "\:" a semicolon). A key without "=" has an
    // empty value.
    std::vector<std::pair<std::string, std::string>> tags;
    std::string prefix;  // without its colon: "nick!user@host" or a server name
    std::string command;  // as sent: "PRIVMSG", "001"
    std::vector<std::string> params;
    bool trailing = false;  // the last parameter came after " :"

    // The nick of a user prefix (up to "!" or "@"), or the server name.
    std::string Nick() const;
    // The sender of a message as the line parser GetNick names it, but read
    // from the prefix alone: the nick before the prefix's "!", and empty for
    // a prefix without one (a server or a service speaking as itself).
    std::string Sender() const;
    // The n-th parameter (from 0), or empty text.
    const std::string& Param(std::size_t n) const;
    // The last parameter, with or without its colon, or empty text.
    const std::string& Last() const;
    // The value of a tag, when the line carries it.
    std::optional<std::string> Tag(std::string_view key) const;
};

IrcMessage ParseMessage(std::string_view line);

// IRC's own case mapping of nicks and channels as a server announces it in
// its 005 reply (CASEMAPPING); "rfc1459" when it says nothing.
enum class CaseMapping { Ascii, Rfc1459, StrictRfc1459 };
CaseMapping CaseMappingFromName(std::string_view name);
// Names compared by that mapping: with rfc1459 "[]\~" are the upper case
// of "{}|^" (strict: without "~"/"^"). Other bytes compare as ASCII.
bool IrcEquals(std::string_view a, std::string_view b, CaseMapping mapping);
// The name in that mapping's lower case: a key under which equal names meet.
std::string IrcLower(std::string_view name, CaseMapping mapping);

}  // namespace tovik
