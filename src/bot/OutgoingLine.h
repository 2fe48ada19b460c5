#pragma once
// What may leave the bot as one protocol line. Much of what the bot sends is
// built from text it received (a partner's message echoed into the command
// channel, a sender's nick used as a target, ".say" arguments), so a CR, LF
// or NUL in it would start a second command of the sender's choosing. And a
// server drops a client whose line exceeds 512 bytes, so long texts are cut.

#include <cstddef>
#include <string>
#include <string_view>

namespace tovik {

// At most this many bytes before the line end, so that even a CR LF ending
// stays within the 512 bytes a server accepts.
inline constexpr std::size_t kMaxLineBody = 510;

// One built line (ending in "\n") made safe to send: every CR, LF and NUL
// before its end removed, cut to kMaxLineBody bytes, one "\n" appended.
std::string SealLine(std::string_view built);

}  // namespace tovik
