#pragma once
// The IRCv3 server-time tag says when the server saw a message:
//
//   @time=2026-12-09T03:18:34.000Z :anna!a@h PRIVMSG Tovik-B0T :hallo
//
// Behind a bouncer, messages from hours ago are played back at connect with
// their old stamps. No person answers those as if they were new, so the bot
// only reports them. Pure; the arrival time comes in.

#include <chrono>
#include <optional>
#include <string_view>

namespace tovik {

using SystemTime = std::chrono::system_clock::time_point;

// "YYYY-MM-DDThh:mm:ss[.fraction]Z", UTC; nothing for anything else.
std::optional<SystemTime> ParseServerTime(std::string_view value);

// Stamped more than this before it arrived: playback, not conversation.
inline constexpr std::chrono::minutes kPlaybackAge{2};

// Whether a message with this time tag value, arriving at `arrival`, is
// playback. A missing or unreadable stamp is taken as news.
bool IsPlayback(std::optional<std::string_view> timeTag, SystemTime arrival);

}  // namespace tovik
