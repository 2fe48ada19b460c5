#include "bot/channel/ReportOutbox.h"

#include <algorithm>

#include "bot/channel/Report.h"
#include "bot/link/OutgoingLine.h"

namespace tovik {

ReportOutbox::ReportOutbox(Gate gate, std::size_t maxWaiting)
    : gate_(std::move(gate)), max_(std::max<std::size_t>(maxWaiting, 1)) {}

void ReportOutbox::Add(std::string channel, std::string line) {
    if (!gate_(channel)) return Clear();
    waiting_.push_back({std::move(channel), std::move(line)});
    if (waiting_.size() <= max_) return;
    ++leftOut_;
    leftOutTo_ = std::move(waiting_.front().channel);
    waiting_.pop_front();
}

void ReportOutbox::Clear() {
    waiting_.clear();
    leftOut_ = 0;
}

std::optional<std::string> ReportOutbox::Next() {
    // The summary stands where the dropped reports stood: before the
    // reports that are still waiting.
    if (leftOut_ > 0) {
        std::string text = "(";
        text += std::to_string(std::exchange(leftOut_, 0));
        text += " Meldungen ausgelassen, der Server nimmt nicht mehr an)";
        if (gate_(leftOutTo_)) return SealLine(MakeReport(leftOutTo_, text));
    }
    while (!waiting_.empty()) {
        Report report = std::move(waiting_.front());
        waiting_.pop_front();
        if (gate_(report.channel)) return std::move(report.line);
    }
    return std::nullopt;
}

}  // namespace tovik
