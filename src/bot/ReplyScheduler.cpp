#include "bot/ReplyScheduler.h"

#include <algorithm>

#include "chat/Pacing.h"

namespace tovik {

ReplyScheduler::ReplyScheduler(Handlers handlers, std::size_t maxMessages, std::size_t maxBytes)
    : handlers_(std::move(handlers)), maxMessages_(maxMessages), maxBytes_(maxBytes) {}

std::size_t ReplyScheduler::Weight(const PrivateMessage& message) {
    return sizeof(PrivateMessage) + message.sender.size() + message.text.size() + message.channel.size();
}

void ReplyScheduler::BeginRead() {
    if (!collecting_) collecting_.emplace();
}

bool ReplyScheduler::Add(PrivateMessage&& message) {
    const std::size_t weight = Weight(message);
    if (pendingMessages_ >= maxMessages_ || pendingBytes_ + weight > maxBytes_) return false;
    BeginRead();
    ++pendingMessages_;
    pendingBytes_ += weight;
    collecting_->queue.push_back(std::move(message));
    return true;
}

void ReplyScheduler::EndRead() {
    if (collecting_ && !collecting_->queue.empty()) frames_.push_back(std::move(*collecting_));
    collecting_.reset();
}

ReplyScheduler::TimePoint ReplyScheduler::DueAfter(const Reply& reply) const {
    const std::int32_t ms = TypingDelay(reply.lines[reply.next].size(), reply.message.charTime);
    return handlers_.now() + std::chrono::milliseconds(std::max<std::int32_t>(ms, 0));
}

void ReplyScheduler::Finish(const PrivateMessage& message) {
    --pendingMessages_;
    pendingBytes_ -= Weight(message);
}

void ReplyScheduler::DiscardAll() {
    frames_.clear();
    if (collecting_) collecting_.emplace();
    pendingMessages_ = 0;
    pendingBytes_ = 0;
    ++discards_;
}

std::optional<ReplyScheduler::TimePoint> ReplyScheduler::NextWake() const {
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it) {
        if (it->reply) return it->reply->due;
        if (it->head < it->queue.size()) return handlers_.now();
    }
    return std::nullopt;
}

std::optional<ReplyScheduler::TimePoint> ReplyScheduler::Run(int lineBudget) {
    if (running_) return NextWake();
    running_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{running_};

    int sent = 0;
    const std::uint64_t discards = discards_;
    // Handlers may push frames (a read handled inside a modal dialog's event
    // loop). New frames only go above the one being worked on, and the deque
    // keeps references to it valid, but which frame is on top is looked up
    // anew after every handler call.
    while (!frames_.empty()) {
        Frame& frame = frames_.back();
        if (!frame.reply) {
            if (frame.head == frame.queue.size()) {
                frames_.pop_back();
                continue;
            }
            PrivateMessage message = std::move(frame.queue[frame.head++]);
            std::vector<std::string> lines = handlers_.begin(message);
            if (discards_ != discards) return NextWake();  // `frame` is gone
            if (lines.empty()) {
                Finish(message);
                continue;
            }
            Reply reply{std::move(message), std::move(lines), 0, {}};
            reply.due = DueAfter(reply);
            frame.reply = std::move(reply);
            continue;
        }
        const TimePoint now = handlers_.now();
        if (frame.reply->due > now) return frame.reply->due;
        if (sent == lineBudget) return now;
        Reply& reply = *frame.reply;
        handlers_.sendLine(reply.message, reply.lines[reply.next]);
        if (discards_ != discards) return NextWake();
        ++sent;
        if (++reply.next < reply.lines.size()) {
            reply.due = DueAfter(reply);
        } else {
            Finish(reply.message);
            frame.reply.reset();
        }
    }
    return std::nullopt;
}

}  // namespace tovik
