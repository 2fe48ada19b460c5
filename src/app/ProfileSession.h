#pragma once
// One road into a profile and one out of it, for the window and for the bot
// without one: the name checked, the lock taken, what a crashed run left
// folded into the log, the journal moved beside it; at the end the log saved
// and the journal removed. The order matters to a second copy of the program
// waiting for the same profile: a copy moves or ends its journal before it
// lets go of the lock, on every road (another profile, deletion, the end), so
// that the next holder never folds a live journal nor loses its own to ours.

#include <functional>
#include <string>
#include <string_view>

#include "profile/ProfileStore.h"
#include "text/Errors.h"

namespace tovik {

class LogBook;

// Why a profile is not loaded, and whether trying again later can help: a
// profile another copy holds is free once that copy ends; a bad name, a
// missing profile or one that cannot be locked stays so until someone acts.
class ProfileRefused : public Error {
public:
    enum class Kind { Permanent, Temporary };
    ProfileRefused(Kind kind, const std::string& text) : Error(text), kind_(kind) {}
    Kind What() const { return kind_; }

private:
    Kind kind_;
};

class ProfileSession {
public:
    ProfileSession(ProfileContext& context, LogBook& book);
    // Without an ending save the journal stays whole on the disk for the
    // next start, and only then does the lock go.
    ~ProfileSession();
    ProfileSession(const ProfileSession&) = delete;
    ProfileSession& operator=(const ProfileSession&) = delete;

    // Where notices go that do not stop a load (a leftover that could not be
    // folded, a password others can read): a message box, standard error.
    void SetTeller(std::function<void(const std::string&)> tell) { tell_ = std::move(tell); }

    // Takes the lock of the profile `name` (Windows-1252) whose file's name
    // without ".ini" is `stem` (the operating system's bytes). With
    // `mustExist` the profile file must be there: a typing error on the
    // command line must not start a bot with nothing but defaults. Throws
    // ProfileRefused; nothing on disk has changed then but the lock file.
    ProfileLock Claim(std::string_view name, std::string_view stem, bool mustExist) const;
    // Makes the claimed profile current: what a crashed run left is folded
    // into its log, the journal moves beside it, and only then is the
    // profile loaded before let go. Tells what does not stop the load.
    void Adopt(std::string name, std::string stem, ProfileLock lock);
    // No profile is current any more (one was deleted): the journal file
    // leaves the disk (its lines stay for a later profile's log), then the
    // lock goes.
    void Drop();

    // The ending save: `save` writes the log (the window's view, or the
    // whole journal), then the journal is removed. With no profile nothing
    // is written and the journal goes. Throws what `save` throws; the
    // journal then stays for the next start, and EndingFailed() says so
    // until a later save succeeds.
    void SaveLog(const std::function<void(const std::string& logPath)>& save);
    bool EndingFailed() const { return endingFailed_; }

    ProfileContext& Context() { return context_; }
    const ProfileContext& Context() const { return context_; }
    bool Loaded() const { return !context_.CurrentProfile().empty(); }

private:
    void TellExposedSecrets() const;
    void Tell(const std::string& text) const;

    ProfileContext& context_;
    LogBook& book_;
    std::function<void(const std::string&)> tell_;
    bool endingFailed_ = false;
};

}  // namespace tovik
