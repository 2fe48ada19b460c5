#pragma once
// The profile store: program directory, current profile, the paths built
// from them, and ProfileFile, the INI reader/writer that every handler opens
// anew. Windows-1252 bytes throughout; Qt-free.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/Errors.h"

namespace tovik {

// A profile file found in PROFILES: the name shown and compared, and the
// file's own name there.
struct ProfileEntry {
    std::string name;  // Windows-1252: the file's name without ".ini"
    std::string file;  // the operating system's bytes, ".ini" included
    // The file's name without ".ini", as the operating system's bytes.
    std::string Stem() const { return file.substr(0, file.size() - 4); }
    // Whether the name is the file's name (Windows-1252 can spell it).
    bool Spelled() const;
};

// An advisory lock on one profile, held by the process that has it loaded:
// a second copy of the program on the same PROFILES would append to the same
// journal and fold the other's lines as its own. The lock belongs to the open
// file, so it goes with the process however that ends; nothing is left stuck.
class ProfileLock {
public:
    ProfileLock() = default;
    ~ProfileLock();
    ProfileLock(ProfileLock&& other) noexcept;
    ProfileLock& operator=(ProfileLock&& other) noexcept;

    // Locks the file at path (the operating system's bytes), created as
    // needed and never through a symbolic link. A lock file that cannot be
    // opened for writing (left by a run as root, say) is locked read-only:
    // flock needs no write access. Unavailable sets *error to the errno.
    enum class Outcome { Locked, HeldElsewhere, Unavailable };
    static Outcome Acquire(const std::string& path, ProfileLock& lock, int* error = nullptr);
    bool Held() const { return fd_ >= 0; }
    // A second handle on the same lock; the lock lasts until both are gone.
    ProfileLock Duplicate() const;

private:
    int fd_ = -1;
};

// "Das Profil "%s" ist schon in einem anderen Tovik-B0T geladen."
class ProfileInUseError : public Error {
public:
    explicit ProfileInUseError(std::string_view name);
};

// No lock can be had on the profile, so it is not loaded: unlocked, a second
// copy could load it too and the two would write into one journal.
class ProfileLockError : public Error {
public:
    ProfileLockError(std::string_view name, std::string_view lockPath, int errnoValue);
};

// Every file the program writes is the user's alone from its first byte (a
// profile may hold a password): created with this mode, never narrowed later.
inline constexpr unsigned kPrivateFileMode = 0600;
inline constexpr unsigned kPrivateDirectoryMode = 0700;

// Creates the folder and each missing folder above it with
// kPrivateDirectoryMode (existing ones stay as they are); false when it is
// not a folder afterwards.
bool MakePrivateDirectories(const std::string& path);

// The longest ending that a profile's file name gets on its companions:
// ".log.folding" and the temporary names ".ini.~XXXXXX", ".log.~XXXXXX".
inline constexpr std::size_t kLongestCompanionSuffix = 12;

// The two program-wide texts the paths are built from. One instance lives as
// long as the main window; tests make their own.
//
// Paths are the operating system's bytes, whatever characters the file
// system holds ("łódź" stays "łódź"); only profile names are Windows-1252
// text, and a profile's file is named by the name in UTF-8 unless the
// profile was picked from the list by its file.
class ProfileContext {
public:
    ProfileContext() = default;
    ProfileContext(std::string programDirectory, std::string currentProfile = {});

    // Sets the program directory to the process's current working directory.
    void SetProgramDirectoryFromCwd();
    void SetProgramDirectory(std::string dir);
    const std::string& ProgramDirectory() const { return programDirectory_; }

    // A profile's file is found without regard to case ("Anna.INI" is the
    // profile "Anna"); the name keeps the spelling it was given. With a stem
    // (a listed file's name without ".ini"), that file is the profile,
    // whether or not Windows-1252 can spell it. Log, journal and lock take
    // the stem of the file found, so that "anna" and "Anna" share them. The
    // lock (from LockProfile) is kept for as long as the profile is current;
    // a lock held before goes.
    void SetCurrentProfile(std::string name, std::string stem = {}, ProfileLock lock = {});
    // Claims the profile of the stem (a listed file's, or the name's) for
    // this process. Throws ProfileInUseError naming the profile when another
    // process holds it, ProfileLockError when no lock can be had at all.
    // The current profile's own lock is shared, not refused.
    ProfileLock LockProfile(std::string_view name, std::string_view stem) const;
    bool ProfileLocked() const { return lock_.Held(); }
    // Creates PROFILES (kPrivateDirectoryMode) when it is missing; a failure
    // shows at the first file.
    void MakeProfilesDirectory() const;
    const std::string& CurrentProfile() const { return currentProfile_; }

    std::string ProfilesDirectory() const;              // <dir>/PROFILES
    std::string ProfilePath() const;                    // <dir>/PROFILES/<current>.ini
    // <dir>/PROFILES/<name>.ini, or the file on disk whose name differs
    // from that only in case.
    std::string ProfileFileOf(std::string_view name) const;
    std::string ProfileFileOfStem(std::string_view stem) const;
    // The stem of the file ProfileFileOfStem finds.
    std::string RealStem(std::string_view stem) const;
    std::string LogFile() const;                        // <dir>/PROFILES/<stem>.log
    std::string LogFileOfStem(std::string_view stem) const;   // <dir>/PROFILES/<real stem>.log
    std::string LockFileOfStem(std::string_view stem) const;  // <dir>/PROFILES/<real stem>.lock

    // The profile files in PROFILES: every entry whose name ends in ".ini"
    // in any case, directories and hidden entries included, unsorted.
    std::vector<ProfileEntry> ListProfiles() const;
    // Creates PROFILES if needed and the profile file of the stem empty, or
    // empties it. Throws FileError naming the file when that fails.
    void CreateProfile(std::string_view stem) const;
    // Deletes the profile file of the stem; false when there is none.
    bool DeleteProfile(std::string_view stem) const;

private:
    std::string programDirectory_;
    std::string currentProfile_;
    std::string currentStem_;  // names the log file
    std::string currentFile_;  // the current profile's file name inside PROFILES
    ProfileLock lock_;
};

// The program directory of a start from the desktop menu, where the working
// directory is the home folder or "/": $XDG_DATA_HOME/tovik-bot, or
// $HOME/.local/share/tovik-bot when that variable is unset or not absolute.
// The operating system's bytes; empty when neither variable is usable.
std::string DesktopProgramDirectory(const char* xdgDataHome, const char* home);

// Why a profile name cannot be used (German, for a message box), or nothing
// when it can. A name must stay a single file inside PROFILES: not empty, no
// "/", no NUL, not "." or "..", and short enough for the file system with the
// longest companion ending. The stem is the file's name it would get (the
// name in UTF-8 when not given).
std::optional<std::string> ProfileNameProblem(std::string_view name, std::string_view stem = {});

// Whole files, as the profile store reads and replaces its own (paths are
// the operating system's bytes). False on failure. With followLinks false a
// symbolic link is not read through.
bool ReadWholeFile(const std::string& path, std::string& content, bool followLinks = true);
bool ReplaceWholeFile(const std::string& path, std::string_view content);

// The one way the program writes a file anew (profiles, logs, the STS
// policies): into a temporary file beside it, synced and renamed over the
// old one at Commit, so a crash or a full disk leaves the old or the new
// content, never a part. The temporary file is created with its final mode:
// kPrivateFileMode, or the old file's mode where that is stricter. A symbolic
// link or anything but a regular file at the path is refused, so no write
// leaves PROFILES through a link.
class FileReplacement {
public:
    explicit FileReplacement(std::string path);
    ~FileReplacement();  // without Commit the old file stays as it was
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    bool Opened() const { return fd_ >= 0; }
    bool Write(std::string_view bytes);
    // False when anything failed since opening; the old file is then intact.
    bool Commit();

private:
    std::string path_;
    std::string temp_;
    int fd_ = -1;
    bool ok_ = false;
};

// The pieces of writing that survives a crash, shared with the log's journal.
// WriteAll writes everything, across short writes and signals; false on an
// error. A new or renamed file survives a power loss only once its directory
// entry is on the disk too: SyncDirectoryOf puts it there (best effort).
bool WriteAll(int fd, std::string_view bytes);
std::string DirectoryOf(const std::string& path);
void SyncDirectoryOf(const std::string& path);

// Opened on a path; touches nothing on disk until a read or write. Holds no
// lock and no copy: every ReadValue sees the file as it is on disk now. (The
// parsed form of each file is kept process-wide and checked with one stat at
// every read, so an unchanged profile is not parsed again for each line.)
// A write replaces the whole file at once, so no reader and no crash ever
// meets a half-written profile.
class ProfileFile {
public:
    explicit ProfileFile(std::string path) : path_(std::move(path)) {}

    const std::string& Path() const { return path_; }

    // The file as it is on disk now, looked at once: every ReadValue of the
    // copy answers from that one look instead of a stat of its own, for a
    // handler that reads a dozen values within moments (the bot, for each
    // received line). A write through any ProfileFile of this process is
    // seen by the copy at once; a change by another program from its next
    // Pinned on. A copy still current is returned as it is.
    ProfileFile Pinned() const;

    // The value of key in section (names compared without regard to case),
    // blanks around it dropped, one matching pair of quotes stripped, cut at
    // 2047 characters. The default only when file, section or key is absent.
    std::string ReadValue(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;

    // Stores the value at once (replace in place, or append the key at the end
    // of its section, or the section at the end of the file). Throws
    // ProfileWriteError when the directory is missing, the file read-only or
    // a symbolic link.
    void WriteValue(std::string_view section, std::string_view key, std::string_view value);

    struct Parsed;  // what the store makes of a file: its own business

private:
    bool Current() const;

    std::string path_;
    bool pinned_ = false;
    std::shared_ptr<const Parsed> parsed_;  // pinned: the file then; none when it was absent
    std::uint64_t pinnedAt_ = 0;            // the process's writes counted then
};

}  // namespace tovik

namespace tovik {
// The IRC server that going online and the IRC settings dialog both fall back
// to when the profile names none.
inline constexpr std::string_view kDefaultIrcServer = "irc.libera.chat";
}  // namespace tovik
