#pragma once
// The persona is seen typing: while the bot types a line to a partner, the
// partner's client shows "... is typing", as it does for people. IRCv3's
// client tag does it (needs message-tags, and the server must not deny the
// tag in CLIENTTAGDENY):
//
//   @+typing=active TAGMSG anna
//
// Receivers drop the sign about 6 s after an "active", so it is repeated
// every 4 s while the bot types, and never sent within 3 s of the previous
// one to the same partner. The PRIVMSG itself ends the sign; so no "done"
// is sent, and a conversation given up (partner gone, Offline) just falls
// silent.
//
// Pure and Qt-free: the caller brings the time, arms one timer for
// NextWake and pushes what TakeDue hands out into the send queue's lowest
// class.

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tovik {

class TypingNotices {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    static constexpr std::chrono::milliseconds kRepeat{4000};
    static constexpr std::chrono::milliseconds kMinGap{3000};

    struct Notice {
        std::string partner;  // as the caller named it
        std::string line;     // ends in "\n"
    };

    // Whether notices may go at all (message-tags enabled, typing not
    // denied). Switching off forgets every partner.
    void SetAllowed(bool allowed);
    bool Allowed() const { return allowed_; }

    // The bot begins typing a line to `nick`: a notice is due at once, or
    // as soon as 3 s have passed since the previous one.
    void Started(TimePoint now, const std::string& nick);
    // The line has been handed to the send queue: its PRIVMSG ends the sign.
    void Sent(const std::string& nick);
    // The conversation is given up: nothing more to this partner.
    void Forget(const std::string& nick);
    void Clear() { partners_.clear(); }

    // The notices due at `now`, in the order of their partners' names.
    std::vector<Notice> TakeDue(TimePoint now);
    // When TakeDue has something next; nothing while no one is typed to.
    std::optional<TimePoint> NextWake() const;

private:
    struct Partner {
        bool typing = false;
        std::optional<TimePoint> last;  // the previous notice
        TimePoint due{};
    };
    bool allowed_ = false;
    std::map<std::string, Partner> partners_;
};

}  // namespace tovik
