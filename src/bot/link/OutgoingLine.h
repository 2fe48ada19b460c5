#pragma once
// What may leave the bot as one protocol line. Much of what the bot sends is
// built from text it received (a partner's message echoed into the command
// channel, a sender's nick used as a target, ".say" arguments), so a CR, LF
// or NUL in it would start a second command of the sender's choosing. And a
// server drops a client whose line exceeds 512 bytes, so long texts are cut.

#include <cstddef>
#include <string>
#include <string_view>

#include "bot/session/Charset.h"

namespace tovik {

// At most this many bytes before the line end, so that even a CR LF ending
// stays within the 512 bytes a server accepts.
inline constexpr std::size_t kMaxLineBody = 510;

// One built line (ending in "\n") made safe to send: every CR, LF and NUL
// before its end removed, cut to kMaxLineBody bytes, one "\n" appended.
// A UTF-8 line is cut before a character that would not fit whole, so that
// the partner's client does not show a broken one at the end; a
// Windows-1252 line has one byte per character and is cut at the limit.
std::string SealLine(std::string_view built, Charset charset = Charset::Cp1252);

}  // namespace tovik
