#pragma once
// Everything the bot writes to the server passes through one paced queue.
//
// Servers close a client that writes far ahead of a steady pace ("Excess
// Flood", "RecvQ exceeded"), and partners with a few clones could otherwise
// knock the bot off just by asking questions. So lines leave at once while a
// burst allowance lasts and then one per interval; what cannot leave yet
// waits by class:
//
//   Urgent   PONG, registration, QUIT, the lock of the command channel:
//            never wait, counted all the same
//   Normal   answers, remote-command output, channel set-up, operator lines
//   (feed)   lines an owner holds back itself and hands over only when one
//            may leave, after every Normal line (the command channel's
//            reports: it decides then whether they still may go)
//   Typing   "is typing" notices: after everything else, and only while
//            nothing else waits; one that cannot leave at once when other
//            lines wait is dropped, as is one for a partner whose answer
//            line was pushed after it (it would announce what has arrived)
//
// A line may be addressed to a guarded destination: the gate is asked when
// it leaves, and a line whose destination is closed by then goes nowhere.
//
// While nothing waits, a line leaves the moment it is pushed, so a quiet
// conversation looks on the wire exactly as without the queue.
//
// The allowance works like a server's own penalty clock: each line moves a
// virtual clock one interval on (from now at the earliest), and a line may
// leave while that clock is at most burst - 1 intervals ahead of now.
//
// Pure and Qt-free: the caller brings the time and writes what TakeDue hands
// out.

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovik {

enum class LineClass { Urgent, Normal, Typing };

struct SendPace {
    int burst = 5;
    std::chrono::milliseconds interval{1000};
};

// Lines that leave after every Normal line, taken from their owner at the
// moment one may leave.
class LineFeed {
public:
    virtual ~LineFeed() = default;
    virtual bool Waiting() const = 0;
    // The next line; nothing when the owner has given up what waited (then
    // nothing waits any more).
    virtual std::optional<std::string> Next() = 0;
};

class SendQueue {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    explicit SendQueue(SendPace pace = {}) : pace_(pace) {}

    void SetPace(SendPace pace) { pace_ = pace; }

    // Asked when a line addressed to `destination` would leave (and when it
    // is pushed): false gives the line up.
    using Gate = std::function<bool(std::string_view destination)>;
    void SetGate(Gate gate) { gate_ = std::move(gate); }
    // Whose lines follow the Normal ones; not owned.
    void SetFeed(LineFeed* feed) { feed_ = feed; }

    // `line` is one complete protocol line, line end included. `partner`
    // tags an answer line so that the caller learns when it left.
    // `destination` names what the gate guards, or nothing. A line that
    // may leave at `now` is handed out by the next TakeDue.
    void Push(TimePoint now, std::string line, LineClass lineClass, std::string partner = {},
              std::string destination = {});
    // The feed has a new line: it leaves at once while nothing waits ahead
    // of it, as a pushed line would; else typing notices give way to it.
    void Fed(TimePoint now);

    struct Departure {
        std::string line;
        std::string partner;  // as pushed; empty for untagged lines
    };
    // Everything that may leave at `now`, in the order it should be written.
    std::vector<Departure> TakeDue(TimePoint now);

    // When TakeDue should be called next; nothing when no line waits.
    std::optional<TimePoint> NextDue(TimePoint now) const;

    // The waiting lines tagged for `partner`: `revise` may change one and
    // keeps it with true, or gives it up with false.
    void Revise(std::string_view partner, const std::function<bool(std::string& line)>& revise);

    // Forgets every waiting line; the allowance stays spent, as it is on
    // the server's side.
    void Clear();
    // A new connection starts with the whole allowance.
    void Restart();

private:
    struct Entry {
        std::string line;
        std::string partner;
        std::string destination;
    };
    bool MayLeave(TimePoint now) const;
    bool Open(const std::string& destination) const;
    bool FeedWaiting() const { return feed_ && feed_->Waiting(); }
    void PushTyping(TimePoint now, std::string line, std::string partner);
    void Spend(TimePoint now);

    Gate gate_;
    LineFeed* feed_ = nullptr;
    SendPace pace_;
    std::deque<Entry> normal_;
    std::deque<Entry> typing_;  // at most one per partner
    std::optional<TimePoint> penalty_;  // the virtual clock; unset: full allowance
    std::vector<Departure> departing_;  // allowed to leave, not yet taken
};

}  // namespace tovik
