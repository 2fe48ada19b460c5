#include "bot/channel/RemoteCommands.h"

#include "bot/channel/Credits.h"
#include "bot/channel/DenyList.h"
#include "bot/channel/Report.h"
#include "irc/IRC.h"
#include "irc/Message.h"
#include "text/Cp1252.h"

namespace tovik {

namespace {

// Byte 2 switches to bold.
constexpr std::string_view kBold = "\x02";

bool RunAnswer(const RemoteCommand& command, std::string_view channel, DenyList& denyList, const LineSink& send,
               Charset charset) {
    const auto report = [&](std::string_view state) {
        send(MakeReport(channel, "Answering for " + Transcode(command.typedArgument, command.encoding, charset) +
                                     std::string(state)),
             charset);
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

RemoteCommand RemoteCommand::FromMessage(const IrcMessage& message) {
    // One message is in one encoding; the words are cut at blanks, which
    // both encodings spell alike, so each word converts on its own.
    const std::string& text = message.Param(1);
    const TextEncoding encoding = RecogniseEncoding(text);
    const auto matching = [encoding](std::string word) {
        return encoding == TextEncoding::Utf8 ? Utf8ToCp1252ForMatching(word) : word;
    };
    RemoteCommand command;
    command.encoding = encoding;
    command.typedArgument = SecondWordOf(text, false);
    command.typedSayText = ThirdWordOf(text, true);
    command.word = LowerAnsi(matching(FirstWordOf(text)));
    command.argument = matching(command.typedArgument);
    command.switchWord = matching(ThirdWordOf(text, false));
    command.sayText = matching(command.typedSayText);
    return command;
}

bool RunRemoteCommand(const RemoteCommand& command, std::string_view channel, DenyList& denyList,
                      const LineSink& send, const CommandCharsets& charsets) {
    const Charset own = charsets.channel;
    const auto typed = [&command](const std::string& text, Charset to) {
        return Transcode(text, command.encoding, to);
    };
    if (command.word == ".join") {
        send(MakeJoin(typed(command.typedArgument, own)), own);
    } else if (command.word == ".answer") {
        return RunAnswer(command, channel, denyList, send, own);
    } else if (command.word == ".say") {
        // The target hears the text in its own charset, the operator reads
        // the report in the channel's.
        const Charset to = charsets.target(command.typedArgument);
        send(MakePrivMsg(typed(command.typedArgument, to), typed(command.typedSayText, to)), to);
        send(MakeReport(channel, "--> " + typed(command.typedArgument, own) + ": " + typed(command.typedSayText, own)),
             own);
    } else if (command.word == ".info") {
        send(MakePrivMsg(channel, Encode(std::string(kBold) + std::string(kCreditLine) + " ... Version: " +
                                             std::string(kVersion),
                                         own)),
             own);
    }
    return false;
}

}  // namespace tovik
