#pragma once
// The system's whole knowledge of the IRC line syntax: stateless functions
// over Windows-1252 bytes. Builders return complete lines ending in a single
// "\n"; parsers take one received line without its line end and return empty
// text for an absent field.
//
//   :nick!user@host PRIVMSG #chan :.say bob hi how are you
//   ^-- GetNick --^ ^GetCommand ^GetTarget ^-- GetText ---------^
//                                         first word ".say", second "bob",
//                                         third "hi", rest after 2nd blank
//                                         "hi how are you"

#include <cstdint>
#include <string>
#include <string_view>

namespace tovik {

std::string MakeLogin(std::string_view nick, std::string_view user, std::string_view realname);
std::string MakeJoin(std::string_view channel);
std::string MakePrivMsg(std::string_view target, std::string_view text);
std::string MakeMode(std::string_view channel, std::string_view modes, std::string_view argument);
std::string MakeTopic(std::string_view channel, std::string_view topic);
std::string MakeKick(std::string_view channel, std::string_view nick, std::string_view reason);
std::string MakeInvite(std::string_view nick, std::string_view channel);
std::string MakePong(std::string_view pingLine);
std::string MakeIdentReply(std::string_view ports, std::string_view system, std::string_view user);
std::string MakeRawLine(std::string_view line);

// A built line as it goes on the wire: RFC 1459 and 2812 end every line in
// CR LF, and some peers (bouncers, proxies, test suites) read until they
// see both. A line ending in a bare "\n" gets its "\r"; anything else in
// the bytes stays as built.
std::string OnTheWire(std::string line);

// The line without its message tags ("@time=...;account=... " before the
// prefix), which servers add once capabilities are on. Every parser below
// expects the line without them.
std::string_view WithoutTags(std::string_view line);

bool IsPing(std::string_view line);
std::string GetNick(std::string_view line);
std::string GetCommand(std::string_view line);
std::string GetTarget(std::string_view line);
std::string GetText(std::string_view line);
std::string GetFirstWord(std::string_view line);
std::string GetSecondWord(std::string_view line, bool rest);
std::string GetThirdWord(std::string_view line, bool rest);

// The same words of a message text already cut out (a parsed message's
// text parameter), by the same rules: a reader of parsed messages gets the
// results the callers of the line parsers rely on, edges included.
std::string FirstWordOf(std::string_view text);
std::string SecondWordOf(std::string_view text, bool rest);
std::string ThirdWordOf(std::string_view text, bool rest);

// The text without CR, LF and NUL bytes: any of them would end a protocol
// line early (servers end lines at a bare CR too) and let whoever supplied the
// text start a command of their own.
std::string RemoveLineBreaks(std::string_view text);

// n-th (1-based) dot-separated part as an integer; 0 when there is no such
// part; ConvertError when the part is not a decimal number.
int IPPart(std::string_view address, int n);
// Parts 1-4 combined in 32-bit arithmetic (wrapping), network order.
std::uint32_t IPToInteger(std::string_view address);

}  // namespace tovik
