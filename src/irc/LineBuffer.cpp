#include "irc/LineBuffer.h"

namespace tovik {

void LineBuffer::Compact() {
    // Consumed bytes are dropped only once they make up at least half of the
    // buffer, so each byte is moved a bounded number of times (amortised O(n)).
    if (start_ == 0) return;
    if (start_ == buffer_.size()) {
        buffer_.clear();
    } else if (start_ >= buffer_.size() / 2) {
        buffer_.erase(0, start_);
    } else {
        return;
    }
    tail_ -= start_;
    start_ = 0;
}

void LineBuffer::Append(std::string_view bytes) {
    if (discarding_) {
        const auto lf = bytes.find('\n');
        if (lf == std::string_view::npos) return;
        bytes.remove_prefix(lf + 1);
        discarding_ = false;
    }
    if (bytes.empty()) return;
    Compact();
    const auto lastLf = bytes.rfind('\n');
    if (lastLf != std::string_view::npos) tail_ = buffer_.size() + lastLf + 1;
    buffer_.append(bytes);

    // The tail may end in the "\r" of a line end whose "\n" is still to come.
    std::size_t tail = buffer_.size() - tail_;
    if (tail > 0 && buffer_.back() == '\r') --tail;
    if (tail > kMaxPending) {
        buffer_.resize(tail_);
        discarding_ = true;
    }
}

bool LineBuffer::Next(std::string& line) {
    // Every "\n" lies before tail_, so no search is needed to know that no
    // complete line is waiting (a line fed byte by byte stays O(n)).
    while (start_ < tail_) {
        const auto lf = buffer_.find('\n', start_);
        auto end = lf;
        if (end > start_ && buffer_[end - 1] == '\r') --end;
        const auto begin = start_;
        start_ = lf + 1;
        if (end - begin > kMaxPending) continue;
        line.assign(buffer_, begin, end - begin);
        return true;
    }
    return false;
}

std::size_t LineBuffer::Pending() const { return buffer_.size() - start_; }

}  // namespace tovik
