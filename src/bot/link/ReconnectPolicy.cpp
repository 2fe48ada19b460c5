#include "bot/link/ReconnectPolicy.h"

#include <exception>
#include <utility>

#include "bot/link/Reconnect.h"
#include "services/IdentServer.h"

namespace tovik {

ReconnectPolicy::ReconnectPolicy(IdentServer& ident, Hooks hooks) : ident_(ident), hooks_(std::move(hooks)) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        // A setting broken meanwhile (a port typed wrong) is reported and
        // tried again later, like a server that does not answer: the
        // operator may mend it while the bot waits.
        try {
            Attempt();
        } catch (const std::exception& error) {
            RetryLater();
            hooks_.report(error.what());
        }
    });
}

void ReconnectPolicy::GoOnline() {
    wantOnline_ = true;
    failures_ = 0;
    lastQuick_.reset();
    try {
        Attempt();
    } catch (...) {
        wantOnline_ = false;  // nothing started; the operator has to act
        SetState(BotState::Offline);
        throw;
    }
}

void ReconnectPolicy::GoOffline() {
    wantOnline_ = false;
    timer_.stop();
    ident_.SwitchOff();
    SetState(BotState::Offline);
}

void ReconnectPolicy::Attempt() {
    timer_.stop();
    hooks_.attempt();
}

void ReconnectPolicy::Attempting() {
    // Listening on port 113 needs privileges a desktop user rarely has. The
    // ident answer only spares the bot a "~" before its user name, so say so
    // once and connect without it.
    try {
        ident_.SwitchOn();
    } catch (const std::exception& error) {
        if (!identErrorReported_) {
            identErrorReported_ = true;
            hooks_.report(error.what());
        }
    }
    welcomed_ = false;
    SetState(BotState::Connecting);
}

void ReconnectPolicy::Welcomed() {
    welcomed_ = true;
    failures_ = 0;
    lastFailure_.clear();
    SetState(BotState::Online);
}

void ReconnectPolicy::RegistrationOver() { ident_.SwitchOff(); }

void ReconnectPolicy::Ended() {
    if (!wantOnline_) return SetState(BotState::Offline);
    const auto now = std::chrono::steady_clock::now();
    if (std::exchange(welcomed_, false) && (!lastQuick_ || now - *lastQuick_ >= kQuickReconnectSpacing)) {
        lastQuick_ = now;
        const double jitter = std::uniform_real_distribution<double>(-1.0, 1.0)(jitter_);
        return Retry(QuickReconnectDelay(jitter));
    }
    RetryLater();
}

void ReconnectPolicy::Redirected() {
    if (!wantOnline_) return SetState(BotState::Offline);
    timer_.start(0);
}

void ReconnectPolicy::Failed(const std::string& text) {
    if (failures_ > 0 && lastFailure_ == text) return;
    lastFailure_ = text;
    hooks_.report(text);
}

void ReconnectPolicy::RetryLater() {
    // Whatever ended it (the server, a reset, a dead link, a failed
    // attempt), the bot comes back by itself until the operator says
    // "&Offline".
    const double jitter = std::uniform_real_distribution<double>(-1.0, 1.0)(jitter_);
    Retry(ReconnectDelay(failures_++, jitter));
}

void ReconnectPolicy::Retry(std::chrono::milliseconds delay) {
    delay = std::chrono::duration_cast<std::chrono::milliseconds>(delay * scale_);
    timer_.start(delay);
    SetState(BotState::Waiting, delay);
}

void ReconnectPolicy::SetState(BotState state, std::chrono::milliseconds nextAttempt) {
    state_ = state;
    hooks_.stateChanged(state, nextAttempt);
}

}  // namespace tovik
