#pragma once
// The commands anyone who may speak in the command channel can give:
//   .join <channel>          the bot joins another channel
//   .answer <nick> on|off    answering for a nick switched on or off
//   .say <target> <text>     the bot says something, and reports it
//   .info                    the bot names itself and its version
// Only the first word of the message counts; further words are ignored.

#include <functional>
#include <string>
#include <string_view>

namespace tovik {

class DenyList;

// The fields of one command-channel PRIVMSG the commands use.
struct RemoteCommand {
    std::string word;        // first word of the text, lowercased
    std::string argument;    // second word: channel, nick or target
    std::string switchWord;  // third word: "on"/"off" of ".answer"
    std::string sayText;     // everything after the second blank

    static RemoteCommand FromLine(std::string_view line);
};

using LineSink = std::function<void(const std::string& line)>;

// Sends the command's lines through `send`; true when the deny list changed.
bool RunRemoteCommand(const RemoteCommand& command, std::string_view channel, DenyList& denyList,
                      const LineSink& send);

}  // namespace tovik
