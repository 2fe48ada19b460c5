#include "bot/answering/Typing.h"

#include <algorithm>

namespace tovik {

void TypingNotices::SetAllowed(bool allowed) {
    allowed_ = allowed;
    if (!allowed) Clear();
}

void TypingNotices::Started(TimePoint now, const std::string& nick) {
    if (!allowed_) return;
    Partner& partner = partners_[nick];
    if (partner.typing) return;  // the sign still stands
    partner.typing = true;
    partner.due = partner.last ? std::max(now, *partner.last + kMinGap) : now;
}

void TypingNotices::Sent(const std::string& nick) {
    const auto found = partners_.find(nick);
    if (found != partners_.end()) found->second.typing = false;
}

void TypingNotices::Forget(const std::string& nick) { partners_.erase(nick); }

std::vector<TypingNotices::Notice> TypingNotices::TakeDue(TimePoint now) {
    std::vector<Notice> due;
    for (auto it = partners_.begin(); it != partners_.end();) {
        Partner& partner = it->second;
        if (partner.typing && partner.due <= now) {
            due.push_back({it->first, "@+typing=active TAGMSG " + it->first + "\n"});
            partner.last = now;
            partner.due = now + kRepeat;
        }
        // A partner no longer typed to is kept only while the gap to its
        // last notice matters.
        if (!partner.typing && (!partner.last || *partner.last + kMinGap <= now)) it = partners_.erase(it);
        else ++it;
    }
    return due;
}

std::optional<TypingNotices::TimePoint> TypingNotices::NextWake() const {
    std::optional<TimePoint> next;
    for (const auto& [nick, partner] : partners_)
        if (partner.typing && (!next || partner.due < *next)) next = partner.due;
    return next;
}

}  // namespace tovik
