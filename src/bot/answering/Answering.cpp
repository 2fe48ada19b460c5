#include "bot/answering/Answering.h"

#include <algorithm>

#include "bot/channel/DenyList.h"
#include "bot/channel/Report.h"
#include "bot/link/OutgoingLine.h"
#include "bot/session/ServerSupport.h"
#include "chat/Answers.h"
#include "chat/Classifier.h"
#include "irc/IRC.h"
#include "irc/Message.h"
#include "profile/ProfileStore.h"
#include "text/Cp1252.h"

namespace tovik {

namespace {

using Clock = Conversations::Clock;

}  // namespace

Answering::Answering(Random& random, const DenyList& denyList, const ServerSupport& support, Hooks hooks)
    : random_(random), denyList_(denyList), support_(support), hooks_(std::move(hooks)) {
    PrepareClassifier();
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        try {
            Converse();
        } catch (const std::exception& error) {
            hooks_.reportError(error);
        }
    });
}

void Answering::SetPace(SendPace pace) {
    Conversations::Bounds bounds;
    bounds.messages = std::min(Conversations::MessagesFor(pace.interval), Conversations::kMaxPendingMessages);
    conversations_.SetBounds(bounds);
}

void Answering::FollowMapping() {
    conversations_.SetMapping(support_.Mapping());
    charsets_.SetMapping(support_.Mapping());
}

void Answering::Route(const IrcMessage& line, const std::string& channel, int charTime, bool playback) {
    std::string text = line.Param(1);
    if (!text.empty() && text.front() == '\x01') return;  // CTCP requests are only logged
    FollowMapping();
    // The partner's client shows in what it sends; the conversation engine
    // reads the text as Windows-1252 whatever it came in.
    ReceivedText received = ReadReceived(text);
    std::string sender = line.Sender();
    charsets_.Tell(sender, received.encoding);
    PrivateMessage message{std::move(sender), std::move(received.cp1252), channel, charTime, std::move(text),
                           received.encoding};
    if (playback) return ReportIncoming(message);
    // Over a bound: reported only. A message given up for a newer one is
    // reported too, so the operator sees every message once.
    if (!conversations_.Add(std::move(message), Clock::now())) ReportIncoming(message);
    for (const PrivateMessage& givenUp : conversations_.TakeGivenUp()) ReportIncoming(givenUp);
}

void Answering::Renamed(const std::string& from, const std::string& to) {
    FollowMapping();
    const std::string key = conversations_.KeyOf(from);
    const std::string newKey = conversations_.KeyOf(to);
    // Whoever went by the new nick before is gone: nothing of his leaves.
    if (newKey != key) hooks_.revise(newKey, [](std::string&) { return false; });
    for (const PrivateMessage& stale : conversations_.Rename(from, to)) ReportIncoming(stale);
    charsets_.Rename(from, to);
    typing_.Forget(from);
    // An answer line on its way goes to the new nick; a typing notice would
    // name the old one.
    const Charset charset = CharsetFor(to);
    hooks_.revise(key, [&](std::string& line) {
        const auto blank = line.starts_with("PRIVMSG ") ? line.find(' ', 8) : std::string::npos;
        if (blank == std::string::npos) return false;
        line = SealLine("PRIVMSG " + to + line.substr(blank), charset);
        return true;
    });
    Typing(newKey);
    ArmTimer();
}
void Answering::SetTypingAllowed(bool allowed) {
    if (allowed != typing_.Allowed()) typing_.SetAllowed(allowed);
}

void Answering::Typing(const std::string& partner) {
    if (const auto nick = conversations_.TypingTo(partner)) typing_.Started(Clock::now(), *nick);
}

// Typing notices go in the send queue's lowest class: under pace pressure
// they are the first to go, and one never leaves after its line.
void Answering::SendTypingNotices() {
    for (TypingNotices::Notice& notice : typing_.TakeDue(Clock::now()))
        hooks_.send(notice.line, LineClass::Typing, Charset::Cp1252, conversations_.KeyOf(notice.partner));
}

void Answering::Quit(const std::string& nick) {
    FollowMapping();
    typing_.Forget(nick);
    hooks_.revise(conversations_.KeyOf(nick), [](std::string&) { return false; });
    // What was never begun is still reported: the operator sees every message.
    for (const PrivateMessage& message : conversations_.Quit(nick)) ReportIncoming(message);
}

// The command channel and the server hear the profile's charset, so that the
// operator's client sees one encoding in the reports, whoever wrote what. A
// partner is answered in what his client spoke last; anyone else (a channel,
// a partner who wrote only ASCII so far) in the default.
Charset Answering::CharsetFor(std::string_view target) const {
    if (support_.Utf8Only()) return Charset::Utf8;
    if (const auto known = charsets_.Of(target)) return *known;
    return hooks_.ownCharset();
}

void Answering::ReportIncoming(const PrivateMessage& message) {
    const Charset charset = hooks_.ownCharset();
    hooks_.report(message.channel,
                  MakeReport(message.channel, "<-- " + Transcode(message.sender, charset) + ": " +
                                                  Transcode(message.said, message.encoding, charset)),
                  charset);
}

std::vector<std::string> Answering::AnswerPrivateMessage(const PrivateMessage& message) {
    ReportIncoming(message);
    if (denyList_.IsDenied(ReadReceived(message.sender).cp1252, support_.Mapping())) return {};
    std::string reply;
    try {
        // The persona's placeholders take one look at the profile together.
        reply = BuildReply(message.text, hooks_.profile().Pinned(), random_, *hooks_.photoOffer());
    } catch (const std::exception& error) {
        hooks_.reportError(error);  // picture missing, DCC port busy: the report stands, nothing is answered
        return {};
    }
    std::vector<std::string> lines;
    const int count = ReplyLineCount(reply);
    for (int k = 1; k <= count; ++k) lines.push_back(ReplyLine(reply, k));
    return lines;
}

// Every conversation takes its due step: a message whose answering begins,
// or a reply line whose typing time is up. A line counts as typed out when
// the send queue lets it go; only then does the partner's next line start.
void Answering::Converse() {
    // A flood of due steps must not hold the event loop; the rest follows
    // in the next turn.
    constexpr int kStepsPerTurn = 256;
    for (int steps = 0; steps < kStepsPerTurn; ++steps) {
        auto step = conversations_.TakeDue(Clock::now());
        if (!step) break;
        const PrivateMessage& message = step->message;
        if (step->kind == Conversations::Step::Kind::Begin) {
            conversations_.Begun(*step, AnswerPrivateMessage(message), Clock::now());
            Typing(step->partner);
            continue;
        }
        typing_.Sent(step->to);
        const Charset own = hooks_.ownCharset();
        // To the nick the partner goes by now, as the server spelt it; only
        // the text is the partner's charset.
        hooks_.report(message.channel,
                      MakeReport(message.channel, "--> " + Transcode(step->to, own) + ": " + Encode(step->line, own)),
                      own);
        const Charset charset = CharsetFor(step->to);
        // A line that cannot go out (the connection is gone) is done all the same.
        if (!hooks_.send(MakePrivMsg(step->to, Encode(step->line, charset)), LineClass::Normal, charset,
                         step->partner))
            conversations_.LineLeft(step->partner, Clock::now());
    }
    SendTypingNotices();
    ArmTimer();
    hooks_.flush();
}

void Answering::LineLeft(const std::string& partner) {
    conversations_.LineLeft(partner, Clock::now());
    Typing(partner);
    ArmTimer();
}

void Answering::Discard() {
    conversations_.DiscardAll();
    typing_.SetAllowed(false);
    timer_.stop();
}

void Answering::ArmTimer() {
    auto next = conversations_.NextWake();
    if (const auto notice = typing_.NextWake()) next = next ? std::min(*next, *notice) : *notice;
    if (!next) {
        timer_.stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now());
    timer_.start(std::max<std::chrono::milliseconds>(wait, std::chrono::milliseconds(0)));
}

}  // namespace tovik
