#pragma once
// Typing out replies without nesting event loops. The bot answers like a
// person: each reply line waits length x CharTime before it goes out, and a
// private message that arrives while a reply is being typed is answered
// completely before that reply goes on. Instead of waiting inside the read
// handler, the waits are held here, on an explicit stack:
//
//   frame per read  -> its private messages, answered one after the other
//   top frame       -> the only one that makes progress
//   reply in frame  -> the lines still to send and when the next one is due
//
// A read that arrives during a wait pushes a frame above the waiting one; the
// waiting line goes out once that frame is done and its own time is up
// (often at once, because the newer reply took longer).
//
// Pure and Qt-free: the clock comes in from outside, and the runtime asks
// Run() what is due and arms a timer for the time it returns.

#include <chrono>
#include <cstdint>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tovik {

struct PrivateMessage {
    std::string sender;
    std::string text;
    std::string channel;  // command channel at the time the message arrived
    int charTime = 0;     // ms per character, read when the message arrived
};

class ReplyScheduler {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    struct Handlers {
        // Reports the message, checks the deny list and builds the reply;
        // returns the lines to type out (none: the message is done).
        std::function<std::vector<std::string>(const PrivateMessage&)> begin;
        // Reports one reply line and sends it to the sender.
        std::function<void(const PrivateMessage&, const std::string& line)> sendLine;
        std::function<TimePoint()> now = [] { return Clock::now(); };
    };

    // A steady stream of messages must not exhaust memory: beyond these
    // bounds new messages are refused (the runtime still reports them).
    static constexpr std::size_t kMaxPendingMessages = 10'000;
    static constexpr std::size_t kMaxPendingBytes = 16u << 20;

    explicit ReplyScheduler(Handlers handlers, std::size_t maxMessages = kMaxPendingMessages,
                            std::size_t maxBytes = kMaxPendingBytes);

    // The messages of one read: BeginRead, Add each, EndRead.
    void BeginRead();
    bool Add(PrivateMessage&& message);  // false: over the bound, not queued (nor moved from)
    void EndRead();

    // Starts and sends everything that is due now, at most `lineBudget` lines.
    // Returns when Run should be called next (now, when the budget ran out),
    // or nothing when no reply is waiting. Calls from inside a handler return
    // at once; the outer call picks up what they would have done.
    std::optional<TimePoint> Run(int lineBudget = 64);

    // Forgets every message and reply, at once, even from inside a handler:
    // what was meant for one connection must not go out on the next.
    void DiscardAll();

    std::size_t PendingMessages() const { return pendingMessages_; }
    std::size_t Depth() const { return frames_.size(); }

private:
    struct Reply {
        PrivateMessage message;
        std::vector<std::string> lines;
        std::size_t next = 0;
        TimePoint due;
    };
    struct Frame {
        std::vector<PrivateMessage> queue;
        std::size_t head = 0;
        std::optional<Reply> reply;
    };

    static std::size_t Weight(const PrivateMessage& message);
    TimePoint DueAfter(const Reply& reply) const;
    void Finish(const PrivateMessage& message);
    std::optional<TimePoint> NextWake() const;

    Handlers handlers_;
    std::size_t maxMessages_;
    std::size_t maxBytes_;
    std::deque<Frame> frames_;  // references stay valid when frames are pushed
    std::optional<Frame> collecting_;
    std::size_t pendingMessages_ = 0;
    std::size_t pendingBytes_ = 0;
    bool running_ = false;
    std::uint64_t discards_ = 0;  // lets Run notice a DiscardAll from inside a handler
};

}  // namespace tovik
