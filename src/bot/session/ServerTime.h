#pragma once
// The IRCv3 server-time tag says when the server saw a message:
//
//   @time=2026-12-09T03:18:34.000Z :anna!a@h PRIVMSG Tovik-B0T :hallo
//
// Behind a bouncer, messages from hours ago are played back at connect with
// their old stamps, or inside a batch that says so:
//
//   BATCH +h1 chathistory #kanal      (or znc.in/playback, ...)
//   @batch=h1;time=... :anna!a@h PRIVMSG #kanal :.say ...
//   BATCH -h1
//
// No person answers those as if they were new, and no command is carried
// out twice, so the bot only reports them. Pure; the arrival time comes in.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovik {

struct IrcMessage;

using SystemTime = std::chrono::system_clock::time_point;

// "YYYY-MM-DDThh:mm:ss[.fraction]Z", UTC; nothing for anything else.
std::optional<SystemTime> ParseServerTime(std::string_view value);

// Stamped more than this before it arrived: playback, not conversation.
inline constexpr std::chrono::minutes kPlaybackAge{2};

// Whether a message with this time tag value, arriving at `arrival`, is
// playback. A missing or unreadable stamp is taken as news.
bool IsPlayback(std::optional<std::string_view> timeTag, SystemTime arrival);

// What one connection's lines say about the server's clock and its
// playback. Stamps are compared with the server's own clock: its offset
// from the bot's is learned from stamped PONGs, which answer the bot's own
// PINGs and so are live; until one came, the bot's clock serves.
class ServerClock {
public:
    // A new connection: no offset, no batch.
    void Reset() { *this = ServerClock{}; }
    // `stamps`: server-time is on, so stamps are the server's word.
    void Follow(const IrcMessage& message, SystemTime arrival, bool stamps);
    bool IsPlayback(const IrcMessage& message, SystemTime arrival, bool stamps) const;

    // Open batches beyond this many make room by forgetting the oldest:
    // their lines then count as playback, which only keeps them unanswered.
    static constexpr std::size_t kMaxBatches = 64;

private:
    struct Batch {
        std::string reference;
        bool playback;
    };
    std::optional<std::chrono::milliseconds> offset_;  // the server's time minus ours
    std::vector<Batch> batches_;  // open ones, oldest first
};

}  // namespace tovik
