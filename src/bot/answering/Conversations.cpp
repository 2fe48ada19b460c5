#include "bot/answering/Conversations.h"

#include <algorithm>

#include "chat/Pacing.h"

namespace tovik {

namespace {

Conversations::TimePoint AfterTyping(Conversations::TimePoint from, const std::string& line, int charTime) {
    return from + std::chrono::milliseconds(std::max<std::int32_t>(TypingDelay(line.size(), charTime), 0));
}

}  // namespace

std::size_t Conversations::Weight(const PrivateMessage& message) {
    return sizeof(PrivateMessage) + message.sender.size() + message.text.size() + message.channel.size() +
           message.said.size();
}

void Conversations::Schedule(const std::string& partner, Conversation& conversation, TimePoint wake) {
    if (conversation.slot) timeline_.erase(*conversation.slot);
    conversation.slot = Slot{wake, slots_++, partner};
    timeline_.insert(*conversation.slot);
}

bool Conversations::Add(PrivateMessage&& message, TimePoint now) {
    const std::size_t weight = Weight(message);
    if (pendingBytes_ + weight > bounds_.bytes) return false;
    const std::string partner = KeyOf(message.sender);
    const auto found = byPartner_.find(partner);
    if (found != byPartner_.end()) {
        const Conversation& c = found->second;
        const std::size_t queued = c.waiting.size() + (c.state == State::Idle || c.abandoned ? 0 : 1);
        if (queued >= bounds_.perPartner) return false;
    }
    if (pendingMessages_ >= bounds_.messages) {
        if (byAge_.empty()) return false;
        GiveUpOldest(now);
    }
    Conversation& conversation = byPartner_[partner];
    ++pendingMessages_;
    pendingBytes_ += weight;
    byAge_.emplace(orders_, partner);
    conversation.waiting.push_back(Waiting{orders_++, std::move(message)});
    if (conversation.state == State::Idle && !conversation.slot) Schedule(partner, conversation, now);
    return true;
}

void Conversations::GiveUpOldest(TimePoint now) {
    const auto oldest = byAge_.begin();
    const std::uint64_t order = oldest->first;
    const std::string partner = oldest->second;
    byAge_.erase(oldest);
    Conversation& conversation = byPartner_.at(partner);
    if (conversation.state != State::Idle && !conversation.abandoned && conversation.currentOrder == order) {
        // Its answer stops here; it was reported when its answering began.
        --pendingMessages_;
        pendingBytes_ -= Weight(conversation.current);
        if (conversation.state != State::Typing) {
            conversation.abandoned = true;
            return;
        }
        return Release(partner, conversation, now);
    }
    // A partner's messages wait in the order they came, so the oldest of all is a front one.
    PrivateMessage message = std::move(conversation.waiting.front().message);
    conversation.waiting.pop_front();
    --pendingMessages_;
    pendingBytes_ -= Weight(message);
    givenUp_.push_back(std::move(message));
    if (conversation.state == State::Idle && conversation.waiting.empty()) {
        if (conversation.slot) timeline_.erase(*conversation.slot);
        byPartner_.erase(partner);
    }
}

// The current message is done with, its counts already given back: on to
// the partner's next one, if any.
void Conversations::Release(const std::string& partner, Conversation& conversation, TimePoint now) {
    conversation.lines.clear();
    conversation.state = State::Idle;
    conversation.abandoned = false;
    if (conversation.slot) timeline_.erase(*conversation.slot);
    conversation.slot.reset();
    if (conversation.waiting.empty()) {
        byPartner_.erase(partner);  // `conversation` is gone
        return;
    }
    Schedule(partner, conversation, now);
}

std::vector<PrivateMessage> Conversations::TakeGivenUp() { return std::exchange(givenUp_, {}); }

std::vector<PrivateMessage> Conversations::Drop(std::map<std::string, Conversation>::iterator found) {
    Conversation& conversation = found->second;
    std::vector<PrivateMessage> never;
    for (Waiting& waiting : conversation.waiting) {
        byAge_.erase(waiting.order);
        pendingBytes_ -= Weight(waiting.message);
        never.push_back(std::move(waiting.message));
    }
    pendingMessages_ -= never.size();
    if (conversation.state != State::Idle && !conversation.abandoned) {
        byAge_.erase(conversation.currentOrder);
        --pendingMessages_;
        pendingBytes_ -= Weight(conversation.current);
    }
    if (conversation.slot) timeline_.erase(*conversation.slot);
    byPartner_.erase(found);
    return never;
}

std::vector<PrivateMessage> Conversations::Quit(const std::string& nick) {
    const auto found = byPartner_.find(KeyOf(nick));
    if (found == byPartner_.end()) return {};
    return Drop(found);
}

std::vector<PrivateMessage> Conversations::Rename(const std::string& oldNick, const std::string& newNick) {
    const std::string from = KeyOf(oldNick);
    const std::string to = KeyOf(newNick);
    auto found = byPartner_.find(from);
    if (found == byPartner_.end()) return {};
    found->second.nick = newNick;
    if (from == to) return {};
    std::vector<PrivateMessage> stale;
    // Nobody holds the new nick, or the server would not have given it:
    // whatever waits under it is left from someone gone.
    if (const auto other = byPartner_.find(to); other != byPartner_.end()) stale = Drop(other);
    auto node = byPartner_.extract(from);
    node.key() = to;
    Conversation& conversation = byPartner_.insert(std::move(node)).position->second;
    if (conversation.slot) {
        const TimePoint wake = std::get<0>(*conversation.slot);
        timeline_.erase(*conversation.slot);
        conversation.slot = Slot{wake, std::get<1>(*conversation.slot), to};
        timeline_.insert(*conversation.slot);
    }
    for (const Waiting& waiting : conversation.waiting) byAge_[waiting.order] = to;
    if (conversation.state != State::Idle && !conversation.abandoned) byAge_[conversation.currentOrder] = to;
    if (conversation.state == State::Beginning || conversation.state == State::Sending) {
        bool chained = false;
        for (auto& [old, now] : renamed_)
            if (now == from) now = to, chained = true;
        if (!chained) renamed_[from] = to;
    }
    return stale;
}

std::string Conversations::Resolve(const std::string& partner) {
    const auto alias = renamed_.find(partner);
    if (alias == renamed_.end()) return partner;
    std::string now = alias->second;
    renamed_.erase(alias);
    return now;
}

std::optional<Conversations::Step> Conversations::TakeDue(TimePoint now) {
    if (timeline_.empty() || std::get<0>(*timeline_.begin()) > now) return std::nullopt;
    const std::string partner = std::get<2>(*timeline_.begin());
    timeline_.erase(timeline_.begin());
    Conversation& conversation = byPartner_.at(partner);
    conversation.slot.reset();
    if (conversation.state == State::Idle) {
        conversation.currentOrder = conversation.waiting.front().order;
        conversation.current = std::move(conversation.waiting.front().message);
        conversation.waiting.pop_front();
        conversation.state = State::Beginning;
        return Step{Step::Kind::Begin, partner, conversation.current, {}, session_, conversation.To()};
    }
    conversation.state = State::Sending;
    return Step{Step::Kind::Line, partner, conversation.current, conversation.lines[conversation.next], session_,
                conversation.To()};
}

void Conversations::Begun(const Step& begin, std::vector<std::string> lines, TimePoint now) {
    if (begin.session != session_) return;  // discarded meanwhile
    const std::string partner = Resolve(begin.partner);
    const auto found = byPartner_.find(partner);
    if (found == byPartner_.end() || found->second.state != State::Beginning) return;
    Conversation& conversation = found->second;
    if (conversation.abandoned) return Release(partner, conversation, now);
    if (lines.empty()) return Finish(partner, conversation, now);
    conversation.lines = std::move(lines);
    conversation.next = 0;
    conversation.state = State::Typing;
    Schedule(partner, conversation, AfterTyping(now, conversation.lines[0], conversation.current.charTime));
}

void Conversations::LineLeft(const std::string& tagged, TimePoint now) {
    const std::string partner = Resolve(tagged);
    const auto found = byPartner_.find(partner);
    if (found == byPartner_.end() || found->second.state != State::Sending) return;
    Conversation& conversation = found->second;
    if (conversation.abandoned) return Release(partner, conversation, now);
    if (++conversation.next == conversation.lines.size()) return Finish(partner, conversation, now);
    conversation.state = State::Typing;
    Schedule(partner, conversation,
             AfterTyping(now, conversation.lines[conversation.next], conversation.current.charTime));
}

void Conversations::Finish(const std::string& partner, Conversation& conversation, TimePoint now) {
    byAge_.erase(conversation.currentOrder);
    --pendingMessages_;
    pendingBytes_ -= Weight(conversation.current);
    Release(partner, conversation, now);
}

std::optional<std::string> Conversations::TypingTo(const std::string& partner) const {
    const auto found = byPartner_.find(partner);
    if (found == byPartner_.end() || found->second.state != State::Typing) return std::nullopt;
    return found->second.To();
}

std::optional<Conversations::TimePoint> Conversations::NextWake() const {
    if (timeline_.empty()) return std::nullopt;
    return std::get<0>(*timeline_.begin());
}

void Conversations::DiscardAll() {
    byPartner_.clear();
    timeline_.clear();
    byAge_.clear();
    renamed_.clear();
    givenUp_.clear();
    pendingMessages_ = 0;
    pendingBytes_ = 0;
    ++session_;
}

}  // namespace tovik
