#pragma once
// Everything the bot writes to the server passes through one paced queue.
//
// Servers close a client that writes far ahead of a steady pace ("Excess
// Flood", "RecvQ exceeded"), and partners with a few clones could otherwise
// knock the bot off just by asking questions. So lines leave at once while a
// burst allowance lasts and then one per interval; what cannot leave yet
// waits by class:
//
//   Urgent   PONG, registration, QUIT: never wait, counted all the same
//   Normal   answers, remote-command output, channel set-up, operator lines
//   Report   copies into the command channel: last, and dropped when they
//            pile up (one summary line says how many went)
//   Typing   "is typing" notices: after everything else, and only while
//            nothing else waits; one that cannot leave at once when other
//            lines wait is dropped, as is one for a partner whose answer
//            line was pushed after it (it would announce what has arrived)
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
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tovik {

enum class LineClass { Urgent, Normal, Report, Typing };

struct SendPace {
    int burst = 5;
    std::chrono::milliseconds interval{1000};
};

class SendQueue {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    // Reports beyond this many waiting make room by dropping the oldest.
    static constexpr std::size_t kMaxWaitingReports = 100;

    // Builds the line that stands for `count` dropped reports.
    using LeftOutLine = std::function<std::string(std::size_t count)>;

    explicit SendQueue(LeftOutLine leftOut, SendPace pace = {}, std::size_t maxWaitingReports = kMaxWaitingReports);

    void SetPace(SendPace pace) { pace_ = pace; }

    // Asked at the moment a report (or the summary of dropped ones) would
    // leave: false discards it, and every report still waiting with it.
    // Reports go to one place only, the command channel, and whether the
    // bot may still speak there is known only then.
    using ReportGate = std::function<bool()>;
    void SetReportGate(ReportGate gate) { reportGate_ = std::move(gate); }

    // `line` is one complete protocol line, line end included. `partner`
    // tags an answer line so that the caller learns when it left. A line
    // that may leave at `now` is handed out by the next TakeDue.
    void Push(TimePoint now, std::string line, LineClass lineClass, std::string partner = {});

    struct Departure {
        std::string line;
        std::string partner;  // as pushed; empty for untagged lines
    };
    // Everything that may leave at `now`, in the order it should be written.
    std::vector<Departure> TakeDue(TimePoint now);

    // When TakeDue should be called next; nothing when no line waits.
    std::optional<TimePoint> NextDue(TimePoint now) const;

    // Forgets every waiting line (and the count of dropped reports); the
    // allowance stays spent, as it is on the server's side.
    void Clear();
    // A new connection starts with the whole allowance.
    void Restart();

    std::size_t Waiting() const { return normal_.size() + reports_.size() + typing_.size(); }
    std::uint64_t DroppedReports() const { return droppedTotal_; }

private:
    struct Entry {
        std::string line;
        std::string partner;
    };
    bool MayLeave(TimePoint now) const;
    bool ReportsMayLeave();
    void PushTyping(TimePoint now, std::string line, std::string partner);
    void Spend(TimePoint now);

    LeftOutLine leftOut_;
    ReportGate reportGate_;
    SendPace pace_;
    std::size_t maxWaitingReports_;
    std::deque<Entry> normal_;
    std::deque<Entry> reports_;
    std::deque<Entry> typing_;  // at most one per partner
    std::size_t leftOutPending_ = 0;  // dropped, summary not yet sent
    std::uint64_t droppedTotal_ = 0;
    std::optional<TimePoint> penalty_;  // the virtual clock; unset: full allowance
    std::vector<Departure> departing_;  // allowed to leave, not yet taken
};

}  // namespace tovik
