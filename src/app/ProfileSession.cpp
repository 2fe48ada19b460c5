#include "app/ProfileSession.h"

#include <sys/stat.h>

#include "app/LogBook.h"
#include "text/Cp1252.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;

// A path as a shell takes it whatever it holds: 'a b' and 'it'\''s'.
std::string ShellQuoted(std::string_view path) {
    std::string out = "'";
    for (const char c : path) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

bool OthersCanRead(const std::string& nativePath) {
    struct stat st {};
    return ::stat(nativePath.c_str(), &st) == 0 && (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

}  // namespace

ProfileSession::ProfileSession(ProfileContext& context, LogBook& book) : context_(context), book_(book) {}

ProfileSession::~ProfileSession() {
    book_.JournalLeft();
    context_.SetCurrentProfile({});
}

void ProfileSession::Tell(const std::string& text) const {
    if (tell_) tell_(text);
}

ProfileLock ProfileSession::Claim(std::string_view name, std::string_view stem, bool mustExist) const {
    const std::string native = stem.empty() ? NativePath(name) : std::string(stem);
    if (const auto problem = ProfileNameProblem(name, native)) throw ProfileRefused(ProfileRefused::Kind::Permanent, *problem);
    if (mustExist) {
        const std::string file = context_.ProfileFileOfStem(native);
        struct stat st {};
        if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            throw ProfileRefused(ProfileRefused::Kind::Permanent,
                                 "Das Profil \"" + std::string(name) + "\" existiert nicht: " + PathFromNative(file));
    }
    // The lock file needs the folder; without a lock the profile is not loaded.
    context_.MakeProfilesDirectory();
    try {
        return context_.LockProfile(name, native);
    } catch (const ProfileInUseError& error) {
        throw ProfileRefused(ProfileRefused::Kind::Temporary, error.what());
    } catch (const ProfileLockError& error) {
        throw ProfileRefused(ProfileRefused::Kind::Permanent, error.what());
    }
}

void ProfileSession::Adopt(std::string name, std::string stem, ProfileLock lock) {
    if (stem.empty()) stem = NativePath(name);
    // The journal goes beside the new profile's log while the old profile's
    // lock is still held, so nobody can take the old one and find it there.
    std::string notice;
    try {
        book_.JournalBeside(context_.LogFileOfStem(stem));
    } catch (const std::exception& error) {
        notice = error.what();  // the profile is loaded all the same; the lines are kept
    }
    context_.SetCurrentProfile(std::move(name), std::move(stem), std::move(lock));
    if (!notice.empty()) Tell(notice);
    TellExposedSecrets();
}

void ProfileSession::Drop() {
    book_.JournalEnded();
    context_.SetCurrentProfile({});
}

void ProfileSession::SaveLog(const std::function<void(const std::string& logPath)>& save) {
    if (Loaded()) {
        try {
            save(context_.LogFile());
        } catch (...) {
            endingFailed_ = true;
            throw;
        }
    }
    book_.JournalDone();
    endingFailed_ = false;
}

void ProfileSession::TellExposedSecrets() const {
    // Told at each load, once: the bot runs on, and the fix is one command.
    const std::string path = context_.ProfilePath();
    const ProfileFile profile(path);
    if (!profile.ReadValue("IRC", "SASLPassword", "").empty() && OthersCanRead(path)) {
        const std::string shown = PathFromNative(path);
        Tell("Das Profil " + shown +
             std::string(" enthält das Passwort (SASLPassword) und ist für andere Benutzer lesbar. Abhilfe: chmod 600 "_w1252) +
             ShellQuoted(shown));
    }
    const std::string certificate = profile.ReadValue("IRC", "TLSClientCert", "");
    if (!certificate.empty() && OthersCanRead(NativePath(certificate)))
        Tell(std::string("Der Schlüssel in TLSClientCert ("_w1252) + certificate +
             std::string(") ist für andere Benutzer lesbar. Abhilfe: chmod 600 "_w1252) + ShellQuoted(certificate));
}

}  // namespace tovik
