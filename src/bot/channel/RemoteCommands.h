#pragma once
// The commands anyone who may speak in the command channel can give:
//   .join <channel>          the bot joins another channel
//   .answer <nick> on|off    answering for a nick switched on or off
//   .say <target> <text>     the bot says something, and reports it
//   .info                    the bot names itself and its version
// Only the first word of the message counts; further words are ignored.
//
// The operator's client may speak UTF-8 or Windows-1252. The command word,
// the switch and the nick for the deny list are read in their Windows-1252
// form; what the bot passes on (a ".say" text, a channel to join) keeps the
// characters as typed and is converted only for the line it goes out in.

#include <functional>
#include <string>
#include <string_view>

#include "bot/session/Charset.h"
#include "text/Encoding.h"

namespace tovik {

class DenyList;
struct IrcMessage;

// The fields of one command-channel PRIVMSG the commands use.
struct RemoteCommand {
    // Windows-1252, as the commands compare them.
    std::string word;        // first word of the text, lowercased
    std::string argument;    // second word: channel, nick or target
    std::string switchWord;  // third word: "on"/"off" of ".answer"
    std::string sayText;     // everything after the second blank
    // As typed, and what the message text was recognised as.
    TextEncoding encoding = TextEncoding::Unknown;
    std::string typedArgument;
    std::string typedSayText;

    // From the text of the message, cut into words as the line's own text
    // would be: ".say" takes everything after the second blank.
    static RemoteCommand FromMessage(const IrcMessage& message);
};

// The charset of the command channel's lines (and of lines to the server
// itself), and of a line to a ".say" target.
struct CommandCharsets {
    Charset channel = Charset::Cp1252;
    std::function<Charset(std::string_view target)> target = [](std::string_view) { return Charset::Cp1252; };
};

// One line to send, composed in `charset`.
using LineSink = std::function<void(const std::string& line, Charset charset)>;

// Sends the command's lines through `send`; true when the deny list changed.
bool RunRemoteCommand(const RemoteCommand& command, std::string_view channel, DenyList& denyList,
                      const LineSink& send, const CommandCharsets& charsets = {});

}  // namespace tovik
