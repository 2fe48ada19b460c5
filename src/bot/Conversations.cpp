#include "bot/Conversations.h"

#include <algorithm>

#include "chat/Pacing.h"
#include "text/Cp1252.h"

namespace tovik {

namespace {

Conversations::TimePoint AfterTyping(Conversations::TimePoint from, const std::string& line, int charTime) {
    return from + std::chrono::milliseconds(std::max<std::int32_t>(TypingDelay(line.size(), charTime), 0));
}

}  // namespace

std::string Conversations::PartnerOf(const std::string& nick) { return LowerAnsi(nick); }

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
    if (pendingMessages_ >= bounds_.messages || pendingBytes_ + weight > bounds_.bytes) return false;
    const std::string partner = PartnerOf(message.sender);
    const auto found = byPartner_.find(partner);
    if (found != byPartner_.end()) {
        const Conversation& c = found->second;
        const std::size_t queued = c.waiting.size() + (c.state == State::Idle ? 0 : 1);
        if (queued >= bounds_.perPartner) return false;
    }
    Conversation& conversation = byPartner_[partner];
    ++pendingMessages_;
    pendingBytes_ += weight;
    conversation.waiting.push_back(std::move(message));
    if (conversation.state == State::Idle && !conversation.slot) Schedule(partner, conversation, now);
    return true;
}

std::optional<Conversations::Step> Conversations::TakeDue(TimePoint now) {
    if (timeline_.empty() || std::get<0>(*timeline_.begin()) > now) return std::nullopt;
    const std::string partner = std::get<2>(*timeline_.begin());
    timeline_.erase(timeline_.begin());
    Conversation& conversation = byPartner_.at(partner);
    conversation.slot.reset();
    if (conversation.state == State::Idle) {
        conversation.current = std::move(conversation.waiting.front());
        conversation.waiting.pop_front();
        conversation.state = State::Beginning;
        return Step{Step::Kind::Begin, partner, conversation.current, {}, session_};
    }
    conversation.state = State::Sending;
    return Step{Step::Kind::Line, partner, conversation.current, conversation.lines[conversation.next], session_};
}

void Conversations::Begun(const Step& begin, std::vector<std::string> lines, TimePoint now) {
    if (begin.session != session_) return;  // discarded meanwhile
    const std::string& partner = begin.partner;
    const auto found = byPartner_.find(partner);
    if (found == byPartner_.end() || found->second.state != State::Beginning) return;
    Conversation& conversation = found->second;
    if (lines.empty()) return Finish(partner, conversation, now);
    conversation.lines = std::move(lines);
    conversation.next = 0;
    conversation.state = State::Typing;
    Schedule(partner, conversation, AfterTyping(now, conversation.lines[0], conversation.current.charTime));
}

void Conversations::LineLeft(const std::string& partner, TimePoint now) {
    const auto found = byPartner_.find(partner);
    if (found == byPartner_.end() || found->second.state != State::Sending) return;
    Conversation& conversation = found->second;
    if (++conversation.next == conversation.lines.size()) return Finish(partner, conversation, now);
    conversation.state = State::Typing;
    Schedule(partner, conversation,
             AfterTyping(now, conversation.lines[conversation.next], conversation.current.charTime));
}

void Conversations::Finish(const std::string& partner, Conversation& conversation, TimePoint now) {
    --pendingMessages_;
    pendingBytes_ -= Weight(conversation.current);
    conversation.lines.clear();
    conversation.state = State::Idle;
    if (conversation.waiting.empty()) {
        byPartner_.erase(partner);  // `conversation` is gone
        return;
    }
    Schedule(partner, conversation, now);
}

std::optional<Conversations::TimePoint> Conversations::NextWake() const {
    if (timeline_.empty()) return std::nullopt;
    return std::get<0>(*timeline_.begin());
}

void Conversations::DiscardAll() {
    byPartner_.clear();
    timeline_.clear();
    pendingMessages_ = 0;
    pendingBytes_ = 0;
    ++session_;
}

}  // namespace tovik
