#include "bot/OperatorConsole.h"

#include "chat/Classifier.h"
#include "irc/IRC.h"
#include "text/Cp1252.h"

namespace tovik {

std::optional<std::string> ConsoleCommandLine(std::string_view typed, std::string_view channel) {
    const std::string command = LowerAnsi(WordAt(typed, 1));
    const std::string nick = WordAt(typed, 2);
    if (command == "op") return MakeMode(channel, "+o", nick);
    if (command == "voice") return MakeMode(channel, "+v", nick);
    if (command == "kick") return MakeKick(channel, nick, "Have a nice day ...");
    if (command == "invite") return MakeInvite(nick, channel);
    return std::nullopt;
}

std::optional<std::string> ConsoleInvitee(std::string_view typed) {
    if (LowerAnsi(WordAt(typed, 1)) != "invite") return std::nullopt;
    return WordAt(typed, 2);
}

}  // namespace tovik
