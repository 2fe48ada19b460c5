#pragma once
// Framing, not parsing: bytes from the server go in as they arrive, complete
// lines come out. A line ends at "\n"; one "\r" before it is removed. An
// incomplete tail waits for the next Append. A tail that grows beyond
// kMaxPending bytes without a line end is discarded (up to and including its
// eventual "\n"), so a hostile peer cannot make the buffer grow without bound.

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
    std::string buffer_;
    std::size_t start_ = 0;     // first unconsumed byte
    bool discarding_ = false;   // dropping an over-long line up to its "\n"
};

}  // namespace tovik
