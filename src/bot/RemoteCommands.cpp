#include "bot/RemoteCommands.h"

#include "bot/Credits.h"
#include "bot/DenyList.h"
#include "bot/Report.h"
#include "irc/IRC.h"
#include "text/Cp1252.h"

namespace tovik {

namespace {

// Byte 2 switches to bold.
constexpr std::string_view kBold = "\x02";

bool RunAnswer(const RemoteCommand& command, std::string_view channel, DenyList& denyList,
               const LineSink& send) {
    const auto report = [&](std::string_view state) {
        send(MakeReport(channel, "Answering for " + command.argument + std::string(state)));
    };
    // The report goes out before the list changes, and whether or not it does.
    if (LowerAnsi(command.switchWord) == "on") {
        report(" Enabled");
        return denyList.AllowNick(command.argument);
    }
    if (LowerAnsi(command.switchWord) == "off") {
        report(" Disabled");
        return denyList.DenyNick(command.argument);
    }
    return false;
}

}  // namespace

RemoteCommand RemoteCommand::FromLine(std::string_view line) {
    return RemoteCommand{LowerAnsi(GetFirstWord(line)), GetSecondWord(line, false),
                         GetThirdWord(line, false), GetThirdWord(line, true)};
}

bool RunRemoteCommand(const RemoteCommand& command, std::string_view channel, DenyList& denyList,
                      const LineSink& send) {
    if (command.word == ".join") {
        send(MakeJoin(command.argument));
    } else if (command.word == ".answer") {
        return RunAnswer(command, channel, denyList, send);
    } else if (command.word == ".say") {
        send(MakePrivMsg(command.argument, command.sayText));
        send(MakeReport(channel, "--> " + command.argument + ": " + command.sayText));
    } else if (command.word == ".info") {
        send(MakePrivMsg(channel, std::string(kBold) + std::string(kCreditLine) + " ... Version: " +
                                      std::string(kVersion)));
    }
    return false;
}

}  // namespace tovik
