#pragma once
// Framing, not parsing: bytes from the server go in as they arrive, complete
// lines come out. A line ends at "\n"; one "\r" before it is removed. An
// incomplete tail waits for the next Append. A tail that grows beyond
// kMaxPending bytes without a line end is discarded (up to and including its
// eventual "\n"), so a hostile peer cannot make the buffer grow without bound.
// For the same limit to hold however the bytes are cut into Appends, a
// complete line longer than kMaxPending (without its line end) is dropped too;
// a line of exactly kMaxPending bytes comes out whole.

#include <cstddef>
#include <string>
#include <string_view>

namespace tovik {

class LineBuffer {
public:
    static constexpr std::size_t kMaxPending = 64 * 1024;

    void Append(std::string_view bytes);
    // Moves the next complete line into `line`; false when none is complete.
    bool Next(std::string& line);
    std::size_t Pending() const;

private:
    void Compact();

    std::string buffer_;
    std::size_t start_ = 0;     // first unconsumed byte
    std::size_t tail_ = 0;      // first byte after the last "\n" in buffer_
    bool discarding_ = false;   // dropping an over-long line up to its "\n"
};

}  // namespace tovik
