#pragma once
// The operator console: four short commands that manage who may enter and
// speak in the command channel. Word 1 (lowercased) is the command, word 2 the
// nick, split at the classifier's word delimiters, so "op Foo-Bar" ops "Foo".
//   op <nick>  voice <nick>  kick <nick>  invite <nick>

#include <optional>
#include <string>
#include <string_view>

namespace tovik {

// The line the typed command sends in `channel`; nothing for any other text.
std::optional<std::string> ConsoleCommandLine(std::string_view typed, std::string_view channel);
// Whom the typed command invites into the channel, if it is an "invite".
std::optional<std::string> ConsoleInvitee(std::string_view typed);

}  // namespace tovik
