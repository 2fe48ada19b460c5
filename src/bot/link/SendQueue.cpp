#include "bot/link/SendQueue.h"

#include <algorithm>

namespace tovik {

bool SendQueue::MayLeave(TimePoint now) const {
    return !penalty_ || *penalty_ <= now + (pace_.burst - 1) * pace_.interval;
}

void SendQueue::Spend(TimePoint now) {
    penalty_ = std::max(penalty_.value_or(now), now) + pace_.interval;
}

bool SendQueue::Open(const std::string& destination) const {
    return destination.empty() || !gate_ || gate_(destination);
}

void SendQueue::Push(TimePoint now, std::string line, LineClass lineClass, std::string partner,
                     std::string destination) {
    if (lineClass == LineClass::Typing) return PushTyping(now, std::move(line), std::move(partner));
    if (!Open(destination)) return;
    // A notice for a partner whose line is on its way would announce the
    // past; one behind waiting lines would be late for anyone.
    if (!partner.empty()) std::erase_if(typing_, [&](const Entry& entry) { return entry.partner == partner; });
    // Urgent lines never wait; anything else leaves at once only when
    // nothing is waiting ahead of it, so that the order stays as made.
    if (lineClass == LineClass::Urgent || (normal_.empty() && !FeedWaiting() && MayLeave(now))) {
        Spend(now);
        departing_.push_back({std::move(line), std::move(partner)});
        return;
    }
    typing_.clear();
    normal_.push_back({std::move(line), std::move(partner), std::move(destination)});
}

void SendQueue::Fed(TimePoint now) {
    // Like a pushed line: out at once while nothing waits ahead of it.
    while (normal_.empty() && FeedWaiting() && MayLeave(now)) {
        std::optional<std::string> line = feed_->Next();
        if (!line) break;
        Spend(now);
        departing_.push_back({std::move(*line), {}});
    }
    if (FeedWaiting()) typing_.clear();
}

void SendQueue::PushTyping(TimePoint now, std::string line, std::string partner) {
    std::erase_if(typing_, [&](const Entry& entry) { return entry.partner == partner; });
    if (!normal_.empty() || FeedWaiting()) return;
    if (typing_.empty() && MayLeave(now)) {
        Spend(now);
        // Handed out untagged: the partner tag tells the caller that an
        // answer line has left, which a notice is not.
        departing_.push_back({std::move(line), {}});
        return;
    }
    typing_.push_back({std::move(line), std::move(partner), {}});
}

std::vector<SendQueue::Departure> SendQueue::TakeDue(TimePoint now) {
    std::vector<Departure> out = std::move(departing_);
    departing_.clear();
    while (MayLeave(now)) {
        if (!normal_.empty()) {
            Entry entry = std::move(normal_.front());
            normal_.pop_front();
            if (!Open(entry.destination)) continue;  // closed meanwhile: costs nothing
            out.push_back({std::move(entry.line), std::move(entry.partner)});
        } else if (std::optional<std::string> fed = FeedWaiting() ? feed_->Next() : std::nullopt) {
            out.push_back({std::move(*fed), {}});
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
    if (normal_.empty() && typing_.empty() && !FeedWaiting()) return std::nullopt;
    if (MayLeave(now)) return now;
    // The first moment at which the virtual clock is no more than burst - 1
    // intervals ahead.
    return *penalty_ - (pace_.burst - 1) * pace_.interval;
}

void SendQueue::Revise(std::string_view partner, const std::function<bool(std::string& line)>& revise) {
    for (std::deque<Entry>* lines : {&normal_, &typing_})
        std::erase_if(*lines, [&](Entry& entry) { return entry.partner == partner && !revise(entry.line); });
}

void SendQueue::Clear() {
    normal_.clear();
    typing_.clear();
    departing_.clear();
}

void SendQueue::Restart() {
    Clear();
    penalty_.reset();
}

}  // namespace tovik
