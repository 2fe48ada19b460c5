#pragma once
// Answering private messages like a person: each partner's messages in
// their order, each reply line after its typing time, partners side by
// side, each answered in the charset their client spoke last.
//
// The road of one message: the runtime hands a PRIVMSG meant for the bot to
// Route, which queues it in the partner's conversation; Converse then takes
// every due step: it begins answering (the report, the deny check, the
// reply) or sends one reply line and its report. Partners are told apart as
// the server tells nicks apart (CASEMAPPING).

#include <QTimer>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bot/session/Charset.h"
#include "bot/answering/Conversations.h"
#include "bot/link/SendQueue.h"
#include "bot/answering/Typing.h"

namespace tovik {

class DenyList;
struct IrcMessage;
class PhotoOffer;
class ProfileFile;
class Random;
class ServerSupport;

class Answering {
public:
    struct Hooks {
        // One built line in `charset`; false when it cannot go out now.
        std::function<bool(const std::string& line, LineClass lineClass, Charset charset, std::string partner)> send;
        // One built report line into `channel`, in `charset`.
        std::function<void(const std::string& channel, const std::string& line, Charset charset)> report;
        // The sealed lines tagged for `partner` that still wait to leave:
        // the function rewrites one and keeps it (true) or gives it up.
        std::function<void(const std::string& partner, const std::function<bool(std::string& line)>& revise)> revise;
        std::function<Charset()> ownCharset;       // the command channel's
        std::function<ProfileFile()> profile;      // the persona's, as it stands now
        std::function<std::unique_ptr<PhotoOffer>()> photoOffer;  // what a photo answer offers
        std::function<void(const std::exception&)> reportError;
        std::function<void()> flush;               // a turn's lines to the kernel
    };

    Answering(Random& random, const DenyList& denyList, const ServerSupport& support, Hooks hooks);

    // Bounds the waiting messages by what the send pace drains in about
    // three minutes.
    void SetPace(SendPace pace);

    // A PRIVMSG meant for the bot, from someone else. A CTCP request is
    // only logged; a message played back from long ago is reported only.
    void Route(const IrcMessage& message, const std::string& channel, int charTime, bool playback = false);
    // Whether partners may see the persona typing (the server relays the
    // client tag).
    void SetTypingAllowed(bool allowed);
    // A partner renamed themselves: the conversation, the charset and the
    // lines already on their way follow.
    void Renamed(const std::string& from, const std::string& to);
    // A partner has left the network, or the bot holds his nick now:
    // nothing more goes to him, not even what waits in the send queue.
    void Quit(const std::string& nick);

    // Every due step; then the timer for the next.
    void Converse();
    // A reply line tagged for `partner` has left the bot.
    void LineLeft(const std::string& partner);
    // The connection is over: nothing of it is answered on the next.
    void Discard();
    // Another connection, perhaps another network: a nick need not name the
    // same person there.
    void ForgetPartners() { charsets_.Clear(); }

    Charset CharsetFor(std::string_view target) const;
    std::size_t Pending() const { return conversations_.PendingMessages(); }

private:
    void ReportIncoming(const PrivateMessage& message);
    // The partner's conversation types its next line now: the sign goes out.
    void Typing(const std::string& partner);
    void SendTypingNotices();
    std::vector<std::string> AnswerPrivateMessage(const PrivateMessage& message);
    void ArmTimer();
    void FollowMapping();

    Random& random_;
    const DenyList& denyList_;
    const ServerSupport& support_;
    Hooks hooks_;
    Conversations conversations_;
    PartnerCharsets charsets_;
    TypingNotices typing_;
    QTimer timer_;  // the next step of any conversation
};

}  // namespace tovik
