#include "bot/link/SendQueue.h"

#include <algorithm>

namespace tovik {

SendQueue::SendQueue(LeftOutLine leftOut, SendPace pace, std::size_t maxWaitingReports)
    : leftOut_(std::move(leftOut)), pace_(pace), maxWaitingReports_(std::max<std::size_t>(maxWaitingReports, 1)) {}

bool SendQueue::MayLeave(TimePoint now) const {
    return !penalty_ || *penalty_ <= now + (pace_.burst - 1) * pace_.interval;
}

void SendQueue::Spend(TimePoint now) {
    penalty_ = std::max(penalty_.value_or(now), now) + pace_.interval;
}

bool SendQueue::ReportsMayLeave() {
    if (!reportGate_ || reportGate_()) return true;
    reports_.clear();
    leftOutPending_ = 0;
    return false;
}

void SendQueue::Push(TimePoint now, std::string line, LineClass lineClass, std::string partner) {
    if (lineClass == LineClass::Typing) return PushTyping(now, std::move(line), std::move(partner));
    // A notice for a partner whose line is on its way would announce the
    // past; one behind waiting lines would be late for anyone.
    if (lineClass == LineClass::Normal && !partner.empty())
        std::erase_if(typing_, [&](const Entry& entry) { return entry.partner == partner; });
    // Urgent lines never wait; anything else leaves at once only when
    // nothing is waiting ahead of it, so that the order stays as made.
    if (lineClass == LineClass::Report && !ReportsMayLeave()) return;
    const bool nothingWaits = normal_.empty() && reports_.empty() && leftOutPending_ == 0;
    if (lineClass == LineClass::Urgent || (nothingWaits && MayLeave(now))) {
        Spend(now);
        departing_.push_back({std::move(line), std::move(partner)});
        return;
    }
    typing_.clear();
    if (lineClass == LineClass::Normal) {
        normal_.push_back({std::move(line), std::move(partner)});
        return;
    }
    reports_.push_back({std::move(line), std::move(partner)});
    if (reports_.size() > maxWaitingReports_) {
        reports_.pop_front();
        ++leftOutPending_;
        ++droppedTotal_;
    }
}

void SendQueue::PushTyping(TimePoint now, std::string line, std::string partner) {
    std::erase_if(typing_, [&](const Entry& entry) { return entry.partner == partner; });
    if (!normal_.empty() || !reports_.empty() || leftOutPending_ > 0) return;
    if (typing_.empty() && MayLeave(now)) {
        Spend(now);
        // Handed out untagged: the partner tag tells the caller that an
        // answer line has left, which a notice is not.
        departing_.push_back({std::move(line), {}});
        return;
    }
    typing_.push_back({std::move(line), std::move(partner)});
}

std::vector<SendQueue::Departure> SendQueue::TakeDue(TimePoint now) {
    std::vector<Departure> out = std::move(departing_);
    departing_.clear();
    while (MayLeave(now)) {
        if (!normal_.empty()) {
            out.push_back({std::move(normal_.front().line), std::move(normal_.front().partner)});
            normal_.pop_front();
        } else if ((leftOutPending_ > 0 || !reports_.empty()) && !ReportsMayLeave()) {
            break;
        } else if (leftOutPending_ > 0) {
            // The summary stands where the dropped reports stood: before
            // the reports that are still waiting.
            out.push_back({leftOut_(leftOutPending_), {}});
            leftOutPending_ = 0;
        } else if (!reports_.empty()) {
            out.push_back({std::move(reports_.front().line), std::move(reports_.front().partner)});
            reports_.pop_front();
        } else if (!typing_.empty()) {
            out.push_back({std::move(typing_.front().line), {}});
            typing_.pop_front();
        } else {
            break;
        }
        Spend(now);
    }
    return out;
}

std::optional<SendQueue::TimePoint> SendQueue::NextDue(TimePoint now) const {
    if (!departing_.empty()) return now;
    if (normal_.empty() && reports_.empty() && typing_.empty() && leftOutPending_ == 0) return std::nullopt;
    if (MayLeave(now)) return now;
    // The first moment at which the virtual clock is no more than burst - 1
    // intervals ahead.
    return *penalty_ - (pace_.burst - 1) * pace_.interval;
}

void SendQueue::Clear() {
    normal_.clear();
    reports_.clear();
    typing_.clear();
    departing_.clear();
    leftOutPending_ = 0;
}

void SendQueue::Restart() {
    Clear();
    penalty_.reset();
}

}  // namespace tovik
