#include "bot/session/ServerTime.h"

#include <algorithm>

#include "irc/Message.h"

namespace tovik {
namespace {

// Exactly `count` digits at `at`, or -1.
int Digits(std::string_view text, std::size_t at, std::size_t count) {
    if (at + count > text.size()) return -1;
    int value = 0;
    for (std::size_t k = at; k < at + count; ++k) {
        if (text[k] < '0' || text[k] > '9') return -1;
        value = value * 10 + (text[k] - '0');
    }
    return value;
}

}  // namespace

std::optional<SystemTime> ParseServerTime(std::string_view value) {
    // 2026-12-09T03:18:34.000Z
    // 0123456789012345678901234
    if (value.size() < 20 || value[4] != '-' || value[7] != '-' || value[10] != 'T' || value[13] != ':' ||
        value[16] != ':' || value.back() != 'Z')
        return std::nullopt;
    const int year = Digits(value, 0, 4), month = Digits(value, 5, 2), day = Digits(value, 8, 2);
    const int hour = Digits(value, 11, 2), minute = Digits(value, 14, 2), second = Digits(value, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0 || second < 0) return std::nullopt;
    std::chrono::milliseconds fraction{0};
    if (value.size() > 20) {
        // A fraction of any length; what is finer than a millisecond is cut.
        const std::string_view digits = value.substr(20, value.size() - 21);
        if (value[19] != '.' || digits.empty()) return std::nullopt;
        for (std::size_t k = 0; k < digits.size(); ++k) {
            if (digits[k] < '0' || digits[k] > '9') return std::nullopt;
            if (k < 3) fraction += std::chrono::milliseconds((digits[k] - '0') * (k == 0 ? 100 : k == 1 ? 10 : 1));
        }
    } else if (value[19] != 'Z') {
        return std::nullopt;
    }
    const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                           std::chrono::day(static_cast<unsigned>(day))};
    // A leap second (":60") is allowed; it reads as the next second.
    if (!date.ok() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
    return std::chrono::sys_days(date) + std::chrono::hours(hour) + std::chrono::minutes(minute) +
           std::chrono::seconds(second) + fraction;
}

bool IsPlayback(std::optional<std::string_view> timeTag, SystemTime arrival) {
    if (!timeTag) return false;
    const auto stamped = ParseServerTime(*timeTag);
    return stamped && *stamped + kPlaybackAge < arrival;
}

namespace {

// Batch types that wrap history: IRCv3 chathistory, a bouncer's playback.
bool IsHistory(std::string_view type) { return type.ends_with("chathistory") || type.ends_with("playback"); }

}  // namespace

void ServerClock::Follow(const IrcMessage& message, SystemTime arrival, bool stamps) {
    if (message.command == "PONG" && stamps) {
        if (const auto stamp = message.Tag("time"))
            if (const auto serverNow = ParseServerTime(*stamp))
                offset_ = std::chrono::duration_cast<std::chrono::milliseconds>(*serverNow - arrival);
        return;
    }
    if (message.command != "BATCH" || message.Param(0).size() < 2) return;
    const std::string reference = message.Param(0).substr(1);
    std::erase_if(batches_, [&](const Batch& batch) { return batch.reference == reference; });
    if (message.Param(0).front() != '+') return;
    // A batch inside a history batch is history too.
    const bool playback = IsHistory(message.Param(1)) || (message.Tag("batch") && IsPlayback(message, arrival, false));
    if (batches_.size() >= kMaxBatches) batches_.erase(batches_.begin());
    batches_.push_back({reference, playback});
}

bool ServerClock::IsPlayback(const IrcMessage& message, SystemTime arrival, bool stamps) const {
    if (const auto batch = message.Tag("batch")) {
        const auto open = std::find_if(batches_.begin(), batches_.end(),
                                       [&](const Batch& b) { return b.reference == *batch; });
        if (open == batches_.end() || open->playback) return true;
    }
    if (!stamps) return false;
    return tovik::IsPlayback(message.Tag("time"), arrival + offset_.value_or(std::chrono::milliseconds(0)));
}

}  // namespace tovik
