#pragma once
// The reports waiting for the command channel. They leave after every other
// line but typing notices, and only as the send queue asks for them, so that
// whether the bot may still speak in the channel each one was addressed to
// is decided at that moment. When more pile up than the server will ever take
// at its pace, the oldest make room, and one line in their place says how
// many went.
//
// Pure and Qt-free.

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "bot/link/SendQueue.h"

namespace tovik {

class ReportOutbox final : public LineFeed {
public:
    // Reports beyond this many waiting make room by dropping the oldest.
    static constexpr std::size_t kMaxWaiting = 100;

    // Whether a report to this channel may leave now.
    using Gate = std::function<bool(std::string_view channel)>;
    explicit ReportOutbox(Gate gate, std::size_t maxWaiting = kMaxWaiting);

    // One sealed report line to `channel`; given up at once when the gate
    // is closed.
    void Add(std::string channel, std::string line);
    void Clear();

    bool Waiting() const override { return !waiting_.empty() || leftOut_ > 0; }
    std::optional<std::string> Next() override;

private:
    struct Report {
        std::string channel;
        std::string line;
    };
    Gate gate_;
    std::size_t max_;
    std::deque<Report> waiting_;
    std::size_t leftOut_ = 0;  // dropped, their summary not yet sent
    std::string leftOutTo_;    // where the dropped ones were going
};

}  // namespace tovik
