#pragma once
// Whether the bot wants to be online, and what it does about it: the state
// the window shows, the wait before the next attempt after a lost
// connection, the ident server while a registration may ask for it, and
// which failures the operator has been told of already.
//
// It decides when; the runtime does the attempt it asks for.

#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <random>
#include <string>

namespace tovik {

class IdentServer;

// Where the connection stands, as the window shows it.
enum class BotState {
    Offline,     // the operator's choice (or never online)
    Connecting,  // an attempt is under way, or registration
    Online,      // welcomed by the server
    Waiting,     // the connection ended; the next attempt comes by itself
};

class ReconnectPolicy {
public:
    struct Hooks {
        std::function<void()> attempt;  // open a connection; throws when a setting is broken
        std::function<void(BotState, std::chrono::milliseconds nextAttempt)> stateChanged;
        std::function<void(const std::string& text)> report;
    };

    ReconnectPolicy(IdentServer& ident, Hooks hooks);

    // Times the back-off (15 s ... 5 min); tests shorten it.
    void SetScale(double scale) { scale_ = scale; }

    // "&Online": from now on lost connections come back. Rethrows what
    // stopped the first attempt, and the bot stays offline.
    void GoOnline();
    // "&Offline": no further attempts.
    void GoOffline();

    // An attempt starts: the server may ask ident from now on.
    void Attempting();
    // The server has welcomed the bot: the next loss starts the back-off over.
    void Welcomed();
    // Registration is over; nobody asks ident any more.
    void RegistrationOver();
    // The connection (or the attempt) is over, whatever ended it. After a
    // welcome the next attempt comes within a few seconds, at most once a
    // minute; otherwise the back-off decides.
    void Ended();
    // The connection ended to go elsewhere (the server's STS policy): the
    // next attempt comes at once, and counts as no failure.
    void Redirected();
    // Why an attempt failed. While the bot retries by itself, a failure that
    // repeats is shown once, not at every attempt for hours.
    void Failed(const std::string& text);

    BotState State() const { return state_; }

private:
    void Attempt();
    void RetryLater();
    void Retry(std::chrono::milliseconds delay);
    void SetState(BotState state, std::chrono::milliseconds nextAttempt = {});

    IdentServer& ident_;
    Hooks hooks_;
    QTimer timer_;
    std::minstd_rand jitter_{std::random_device{}()};
    double scale_ = 1.0;
    BotState state_ = BotState::Offline;
    bool wantOnline_ = false;
    int failures_ = 0;         // attempts since the last welcome
    bool welcomed_ = false;    // the connection under way has registered
    std::optional<std::chrono::steady_clock::time_point> lastQuick_;  // the last quick attempt
    std::string lastFailure_;  // the text of the last failed attempt
    bool identErrorReported_ = false;
};

}  // namespace tovik
