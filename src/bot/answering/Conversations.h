#pragma once
// Answering like a person, fairly: one conversation per partner.
//
// A partner's messages are answered in their order, one reply after the
// other, and each reply line waits its typing time (length x CharTime) from
// the moment the previous line to that partner left, or from the moment its
// answering began. Conversations with different partners go on side by
// side, so a new message never holds back anyone else's reply.
//
// The class holds only the waiting; the runtime does the work. It asks
// TakeDue what is due, and either begins answering a message (report, deny
// check, building the reply, then Begun) or sends a reply line (and tells
// LineLeft once the send queue has let it out). Between those calls a
// conversation is parked, so the runtime may run event loops (an error box)
// without anything going twice.
//
// Pure and Qt-free: the time comes in from outside.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

#include "irc/Message.h"
#include "text/Encoding.h"

namespace tovik {

struct PrivateMessage {
    std::string sender;
    std::string text;     // Windows-1252, as the classifier reads it
    std::string channel;  // command channel at the time the message arrived
    int charTime = 0;     // ms per character, read when the message arrived
    // The text as it arrived, for the report, and what it was recognised as.
    std::string said = {};
    TextEncoding encoding = TextEncoding::Unknown;
};

class Conversations {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    // A steady stream of messages must not exhaust memory, and nobody is
    // helped by an answer hours late. A person does not wait for more than
    // twenty answers: beyond that, or the byte bound, a new message is
    // refused (the runtime still reports it). Beyond the bound on messages
    // the oldest one of all is given up instead, even while its answer is
    // being typed, so that a flood of clones never shuts out a partner who
    // writes later: one who asks again joins the back of the line. Those
    // never begun go to TakeGivenUp for the report.
    static constexpr std::size_t kMaxPendingMessages = 10'000;
    static constexpr std::size_t kMaxPendingBytes = 16u << 20;
    static constexpr std::size_t kMaxPendingPerPartner = 20;

    // The bound on messages that lets the backlog drain in about three
    // minutes when reply lines leave one per `interval`, each answer taking
    // about two lines: 90 at one line a second. The runtime passes it as
    // Bounds::messages and derives it anew when the pace changes.
    static constexpr std::size_t MessagesFor(std::chrono::milliseconds interval) {
        constexpr std::chrono::milliseconds kDrain{180'000};
        constexpr std::size_t kLinesPerAnswer = 2;
        const auto lines = static_cast<std::size_t>(kDrain / std::max(interval, std::chrono::milliseconds(1)));
        return std::max<std::size_t>(lines / kLinesPerAnswer, 1);
    }

    struct Bounds {
        std::size_t messages = kMaxPendingMessages;
        std::size_t bytes = kMaxPendingBytes;
        std::size_t perPartner = kMaxPendingPerPartner;
    };

    Conversations() = default;
    explicit Conversations(Bounds bounds) : bounds_(bounds) {}
    // New bounds take effect at the next Add; nothing waiting is given up.
    void SetBounds(Bounds bounds) { bounds_ = bounds; }

    // The partner's key: nicks are compared as the server compares them.
    static std::string PartnerOf(const std::string& nick, CaseMapping mapping = CaseMapping::Rfc1459) {
        return IrcLower(nick, mapping);
    }
    // The server's mapping, for the keys of what is added from now on.
    void SetMapping(CaseMapping mapping) { mapping_ = mapping; }
    std::string KeyOf(const std::string& nick) const { return PartnerOf(nick, mapping_); }

    // Queues a message behind the partner's earlier ones. False: over a
    // bound, not queued (nor moved from).
    bool Add(PrivateMessage&& message, TimePoint now);
    // The waiting messages Add gave up to make room, oldest first, for the
    // runtime to report; taken once.
    std::vector<PrivateMessage> TakeGivenUp();

    // The partner now goes by `newNick`: the waiting messages and the reply
    // being typed follow, later lines go to the new nick. Returns the
    // waiting messages of a stale conversation under the new nick, which
    // is given up.
    std::vector<PrivateMessage> Rename(const std::string& oldNick, const std::string& newNick);
    // The partner has left: the rest of the reply and the waiting messages
    // go. Returns the waiting messages that were never begun, for the report.
    std::vector<PrivateMessage> Quit(const std::string& nick);

    struct Step {
        enum class Kind { Begin, Line } kind;
        std::string partner;      // the key for Begun / LineLeft
        PrivateMessage message;   // Begin: the message; Line: whom it answers
        std::string line;         // Line: the reply line to send
        std::uint64_t session = 0;
        std::string to;           // the partner's nick now, to send the line to
    };
    // The earliest step due at `now`, if any. The conversation it belongs to
    // waits until Begun or LineLeft is called for it.
    std::optional<Step> TakeDue(TimePoint now);

    // The reply built for a begun message (none: the message is done).
    void Begun(const Step& begin, std::vector<std::string> lines, TimePoint now);
    // The line handed out last for this partner has left the bot.
    void LineLeft(const std::string& partner, TimePoint now);

    // The nick to which the partner's conversation is typing a line now.
    std::optional<std::string> TypingTo(const std::string& partner) const;

    // When TakeDue has something next; nothing when every conversation is
    // idle or waiting for Begun / LineLeft.
    std::optional<TimePoint> NextWake() const;

    // Forgets every message and reply: what was meant for one connection
    // must not go out on the next. Begun for a step taken before is ignored.
    void DiscardAll();

    std::size_t PendingMessages() const { return pendingMessages_; }
    std::size_t Partners() const { return byPartner_.size(); }

private:
    enum class State { Idle, Beginning, Typing, Sending };
    struct Waiting {
        std::uint64_t order;  // across all partners: which came first
        PrivateMessage message;
    };
    struct Conversation {
        // The nick a rename gave the partner; until then each message is
        // answered as its sender spelt it.
        std::string nick;
        const std::string& To() const { return nick.empty() ? current.sender : nick; }
        std::deque<Waiting> waiting;
        State state = State::Idle;
        PrivateMessage current;
        std::uint64_t currentOrder = 0;
        // The current message was given up while the runtime held a step
        // of it; the Begun or LineLeft still to come only frees the way.
        bool abandoned = false;
        std::vector<std::string> lines;
        std::size_t next = 0;
        // Its place in the timeline, while Idle with messages or Typing.
        std::optional<std::tuple<TimePoint, std::uint64_t, std::string>> slot;
    };
    using Slot = std::tuple<TimePoint, std::uint64_t, std::string>;

    static std::size_t Weight(const PrivateMessage& message);
    void Schedule(const std::string& partner, Conversation& conversation, TimePoint wake);
    void Finish(const std::string& partner, Conversation& conversation, TimePoint now);
    void GiveUpOldest(TimePoint now);
    void Release(const std::string& partner, Conversation& conversation, TimePoint now);
    std::vector<PrivateMessage> Drop(std::map<std::string, Conversation>::iterator found);
    std::string Resolve(const std::string& partner);

    Bounds bounds_;
    std::map<std::string, Conversation> byPartner_;
    // Who is due when; equal times keep the order in which they were set.
    std::set<Slot> timeline_;
    // Every message waiting or being answered, by its order, to find the
    // oldest of all.
    std::map<std::uint64_t, std::string> byAge_;
    std::uint64_t orders_ = 0;
    // A conversation renamed while the runtime holds a step of it: the one
    // Begun or LineLeft still to come names the old key.
    std::map<std::string, std::string> renamed_;
    std::vector<PrivateMessage> givenUp_;
    std::uint64_t slots_ = 0;
    std::size_t pendingMessages_ = 0;
    std::size_t pendingBytes_ = 0;
    std::uint64_t session_ = 0;  // counts DiscardAll calls
    CaseMapping mapping_ = CaseMapping::Rfc1459;
};

}  // namespace tovik
