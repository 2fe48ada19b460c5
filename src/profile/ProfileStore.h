#pragma once
// The profile store: program directory, current profile, the paths built
// from them, and ProfileFile, the INI reader/writer that every handler opens
// anew. Windows-1252 bytes throughout; Qt-free.

#include <optional>
#include <string>
#include <string_view>

namespace tovik {

// The two program-wide texts the paths are built from. One instance lives as
// long as the main window; tests make their own.
class ProfileContext {
public:
    ProfileContext() = default;
    ProfileContext(std::string programDirectory, std::string currentProfile = {});

    // Sets the program directory to the process's current working directory.
    void SetProgramDirectoryFromCwd();
    void SetProgramDirectory(std::string dir);
    const std::string& ProgramDirectory() const { return programDirectory_; }

    // A profile's file is found without regard to case ("Anna.INI" is the
    // profile "Anna"); the name keeps the spelling it was given.
    void SetCurrentProfile(std::string name);
    const std::string& CurrentProfile() const { return currentProfile_; }

    std::string ProfilesDirectory() const;              // <dir>/PROFILES
    std::string ProfilePath() const;                    // <dir>/PROFILES/<current>.ini
    // <dir>/PROFILES/<name>.ini, or the file on disk whose name differs
    // from that only in case.
    std::string ProfileFileOf(std::string_view name) const;
    std::string LogFile() const;                        // <dir>/PROFILES/<current>.log

private:
    std::string programDirectory_;
    std::string currentProfile_;
    std::string currentFile_;  // the current profile's file name inside PROFILES
};

// The program directory of a start from the desktop menu, where the working
// directory is the home folder or "/": $XDG_DATA_HOME/tovik-bot, or
// $HOME/.local/share/tovik-bot when that variable is unset or not absolute.
// The operating system's bytes; empty when neither variable is usable.
std::string DesktopProgramDirectory(const char* xdgDataHome, const char* home);

// Why a profile name cannot be used (German, for a message box), or nothing
// when it can. A name must stay a single file inside PROFILES: no "/", no
// NUL, not "." or "..", and short enough for the file system.
std::optional<std::string> ProfileNameProblem(std::string_view name);

// Whole files, as the profile store reads and replaces its own (paths are
// the operating system's bytes). Replacing writes a synced temporary file
// beside the old one and renames it over it, so a crash leaves the old or the
// new content, never a part; the old file's mode is kept. False on failure.
bool ReadWholeFile(const std::string& path, std::string& content);
bool ReplaceWholeFile(const std::string& path, std::string_view content);

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

    // The value of key in section (names compared without regard to case),
    // blanks around it dropped, one matching pair of quotes stripped, cut at
    // 2047 characters. The default only when file, section or key is absent.
    std::string ReadValue(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;

    // Stores the value at once (replace in place, or append the key at the end
    // of its section, or the section at the end of the file). Throws
    // ProfileWriteError when the directory is missing or the file read-only.
    void WriteValue(std::string_view section, std::string_view key, std::string_view value);

private:
    std::string path_;
};

}  // namespace tovik

namespace tovik {
// The IRC server that going online and the IRC settings dialog both fall back
// to when the profile names none.
inline constexpr std::string_view kDefaultIrcServer = "irc.libera.chat";
}  // namespace tovik
