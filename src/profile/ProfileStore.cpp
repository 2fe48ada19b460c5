#include "profile/ProfileStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "text/Cp1252.h"
#include "text/Errors.h"
#include "text/Literal.h"

namespace tovik {

using namespace tovik::literals;

// ---------------------------------------------------------------------------
// ProfileContext

namespace {

constexpr std::string_view kIni = ".ini";

// Every change this process makes to a file, counted: a pinned profile is
// current while the count stands where it stood when it was pinned.
std::atomic<std::uint64_t> writes{0};

void NoteWrite() { writes.fetch_add(1, std::memory_order_relaxed); }

// Whether Windows-1252 text names this file exactly: then the text is the
// profile's name, and names are compared in that code page.
bool SpelledInCp1252(std::string_view native) { return Cp1252ToUtf8(Utf8ToCp1252(native)) == native; }

bool IsFileAt(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace

bool ProfileEntry::Spelled() const { return SpelledInCp1252(file); }

ProfileContext::ProfileContext(std::string programDirectory, std::string currentProfile)
    : programDirectory_(std::move(programDirectory)) {
    SetCurrentProfile(std::move(currentProfile));
}

void ProfileContext::SetProgramDirectory(std::string dir) {
    programDirectory_ = std::move(dir);
    SetCurrentProfile(std::move(currentProfile_), std::move(currentStem_), std::move(lock_));
}

void ProfileContext::SetCurrentProfile(std::string name, std::string stem, ProfileLock lock) {
    currentProfile_ = std::move(name);
    lock_ = std::move(lock);
    // No profile (at start, after deleting) needs no look at the disk.
    if (currentProfile_.empty()) {
        currentStem_.clear();
        currentFile_ = std::string(kIni);
        return;
    }
    // The file found names the companions: "anna" loads "Anna.ini" and
    // folds, writes and locks "Anna.log", never a second set of files.
    currentFile_ = ProfileFileOfStem(stem.empty() ? NativePath(currentProfile_) : stem)
                       .substr(ProfilesDirectory().size() + 1);
    currentStem_ = currentFile_.substr(0, currentFile_.size() - kIni.size());
}

std::string ProfileContext::RealStem(std::string_view stem) const {
    const std::string file = ProfileFileOfStem(stem).substr(ProfilesDirectory().size() + 1);
    return file.substr(0, file.size() - kIni.size());
}

std::string ProfileContext::LogFileOfStem(std::string_view stem) const {
    return ProfilesDirectory() + "/" + RealStem(stem) + ".log";
}

std::string ProfileContext::LockFileOfStem(std::string_view stem) const {
    return ProfilesDirectory() + "/" + RealStem(stem) + ".lock";
}

ProfileLock ProfileContext::LockProfile(std::string_view name, std::string_view stem) const {
    if (lock_.Held() && RealStem(stem) == currentStem_) return lock_.Duplicate();
    ProfileLock lock;
    const std::string path = LockFileOfStem(stem);
    int error = 0;
    switch (ProfileLock::Acquire(path, lock, &error)) {
    case ProfileLock::Outcome::Locked:
        return lock;
    case ProfileLock::Outcome::HeldElsewhere:
        throw ProfileInUseError(name);
    case ProfileLock::Outcome::Unavailable:
        break;
    }
    throw ProfileLockError(name, PathFromNative(path), error);
}

void ProfileContext::MakeProfilesDirectory() const { ::mkdir(ProfilesDirectory().c_str(), kPrivateDirectoryMode); }

void ProfileContext::SetProgramDirectoryFromCwd() {
    // Taken exactly as the system reports it, bytes and all: no slash added
    // or removed, no character replaced. (getcwd with a null buffer
    // allocates one of the size needed.)
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    // Null only when the working directory was removed under us; nothing
    // sensible can be reported, so paths stay relative to where the process is.
    SetProgramDirectory(cwd ? std::string(cwd.get()) : std::string("."));
}

std::string ProfileContext::ProfilesDirectory() const { return programDirectory_ + "/PROFILES"; }

std::string ProfileContext::ProfilePath() const { return ProfilesDirectory() + "/" + currentFile_; }

std::string ProfileContext::ProfileFileOf(std::string_view name) const { return ProfileFileOfStem(NativePath(name)); }

std::string ProfileContext::ProfileFileOfStem(std::string_view stem) const {
    const std::string directory = ProfilesDirectory();
    std::string file(stem);
    file += kIni;
    if (file.find('/') != std::string::npos || ::access((directory + "/" + file).c_str(), F_OK) == 0 ||
        !SpelledInCp1252(file))
        return directory + "/" + file;
    // Not under its exact name: a file whose name differs only in case is
    // the profile (the list shows it so). The first in directory order wins
    // among several; the exact name would have won before. Only names that
    // Windows-1252 spells are compared so, as the list compares them.
    const std::string lowered = LowerAnsi(Utf8ToCp1252(file));
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.c_str()), &::closedir);
    while (dir) {
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) break;
        const std::string_view candidate = entry->d_name;
        if (SpelledInCp1252(candidate) && LowerAnsi(Utf8ToCp1252(candidate)) == lowered)
            return directory + "/" + std::string(candidate);
    }
    return directory + "/" + file;
}

std::vector<ProfileEntry> ProfileContext::ListProfiles() const {
    std::vector<ProfileEntry> entries;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(ProfilesDirectory().c_str()), &::closedir);
    while (dir) {
        const dirent* entry = ::readdir(dir.get());
        if (entry == nullptr) break;
        const std::string_view file = entry->d_name;
        if (file.size() < kIni.size() || LowerAnsi(file.substr(file.size() - kIni.size())) != kIni) continue;
        entries.push_back({PathFromNative(file.substr(0, file.size() - kIni.size())), std::string(file)});
    }
    return entries;
}

void ProfileContext::CreateProfile(std::string_view stem) const {
    MakeProfilesDirectory();  // a failure shows when the file is created
    const std::string path = ProfileFileOfStem(stem);
    // Never through a link: "x.ini -> ~/.bashrc" would empty the file it names.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, kPrivateFileMode);
    NoteWrite();
    if (fd < 0) throw FileError(errno == ELOOP ? EACCES : errno, PathFromNative(path));
    ::close(fd);
}

bool ProfileContext::DeleteProfile(std::string_view stem) const {
    const std::string path = ProfileFileOfStem(stem);
    if (!IsFileAt(path)) return false;
    ::unlink(path.c_str());  // as the list shows afterwards; the outcome is not examined
    NoteWrite();
    return true;
}

std::string DesktopProgramDirectory(const char* xdgDataHome, const char* home) {
    // Relative values are to be ignored, as the desktop's base directory rules say.
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/') return std::string(xdgDataHome) + "/tovik-bot";
    if (home != nullptr && home[0] == '/') return std::string(home) + "/.local/share/tovik-bot";
    return {};
}

std::optional<std::string> ProfileNameProblem(std::string_view name, std::string_view stem) {
    // Empty, it would name the files ".ini" and ".lock" that belong to no profile.
    if (name.empty()) return "Der Profilname ist leer.";
    if (name == "." || name == ".." || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return "Der Profilname \"" + std::string(name) +
               "\" ist nicht erlaubt: er darf weder \"/\" enthalten noch \".\" oder \"..\" sein.";
    // Every file beside the profile is the stem plus an ending, the longest
    // of them a temporary name while the log or the profile is replaced.
    if ((stem.empty() ? NativePath(name).size() : stem.size()) + kLongestCompanionSuffix > NAME_MAX)
        return std::string("Der Profilname ist zu lang für das Dateisystem."_w1252);
    return std::nullopt;
}

std::string ProfileContext::LogFile() const { return ProfilesDirectory() + "/" + currentStem_ + ".log"; }

// ---------------------------------------------------------------------------
// ProfileLock

ProfileLock::~ProfileLock() {
    if (fd_ >= 0) ::close(fd_);
}

ProfileLock::ProfileLock(ProfileLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

ProfileLock& ProfileLock::operator=(ProfileLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

ProfileLock::Outcome ProfileLock::Acquire(const std::string& path, ProfileLock& lock, int* error) {
    int unused = 0;
    if (error == nullptr) error = &unused;
    // The lock file stays on disk: removing it would let a third copy lock a
    // fresh file of that name while a second still holds the old one.
    constexpr int kFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kFlags, kPrivateFileMode);
    // One left by a run as root, or on a read-only mount: flock works on a
    // descriptor opened for reading as well.
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        const int why = errno;
        fd = ::open(path.c_str(), O_RDONLY | kFlags);
        if (fd < 0) errno = why;
    }
    if (fd < 0) {
        *error = errno;
        return Outcome::Unavailable;
    }
    // A folder or a FIFO in its place cannot be opened for writing; one
    // opened for reading is no lock file either.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return Outcome::Unavailable;
    }
    // flock belongs to the open file, so a second open in the same process
    // is refused as well, and the lock ends when the process does.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const bool held = errno == EWOULDBLOCK;
        *error = errno;
        ::close(fd);
        return held ? Outcome::HeldElsewhere : Outcome::Unavailable;
    }
    lock = ProfileLock();
    lock.fd_ = fd;
    return Outcome::Locked;
}

ProfileLock ProfileLock::Duplicate() const {
    ProfileLock copy;
    if (fd_ >= 0) copy.fd_ = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    return copy;
}

ProfileInUseError::ProfileInUseError(std::string_view name)
    : Error("Das Profil \"" + std::string(name) + "\" ist schon in einem anderen Tovik-B0T geladen.") {}

namespace {

std::string LockProblem(int errnoValue) {
    switch (errnoValue) {
    case EACCES:
    case EPERM:
        return std::string("keine Berechtigung"_w1252);
    case EROFS:
        return std::string("das Dateisystem ist schreibgeschützt und die Datei fehlt"_w1252);
    case EISDIR:
        return std::string("dort steht ein Ordner"_w1252);
    case ELOOP:
        return std::string("dort steht ein symbolischer Link"_w1252);
    case ENOENT:
        return std::string("der Ordner PROFILES fehlt"_w1252);
    case ENOTDIR:
        return std::string("PROFILES ist kein Ordner"_w1252);
    case ENOLCK:
    case EOPNOTSUPP:
        return std::string("das Dateisystem kennt keine Sperren (etwa NFS ohne Sperrdienst)"_w1252);
    default:
        return "E/A-Fehler " + std::to_string(errnoValue);
    }
}

}  // namespace

ProfileLockError::ProfileLockError(std::string_view name, std::string_view lockPath, int errnoValue)
    : Error(std::string("Das Profil \"") + std::string(name) + "\" wird nicht geladen: die Sperrdatei " +
            std::string(lockPath) + " ist nicht nutzbar (" + LockProblem(errnoValue) +
            std::string("). Ohne Sperre könnte ein zweiter Tovik-B0T es zugleich laden."_w1252)) {}

bool MakePrivateDirectories(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::string parent = DirectoryOf(path);
    if (parent != path && parent != "." && parent != "/" && !MakePrivateDirectories(parent)) return false;
    if (::mkdir(path.c_str(), kPrivateDirectoryMode) != 0 && errno != EEXIST) return false;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// ---------------------------------------------------------------------------
// INI lines

namespace {

constexpr std::size_t kMaxValueLength = 2047;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// One line of the file, without its line end.
struct IniLine {
    enum class Kind { Other, Section, Key } kind = Kind::Other;
    std::string_view name;   // section or key name, blanks trimmed
    std::size_t valueAt = 0; // Key: offset of the first byte after "="
};

// A line whose first non-blank character is "[" starts a section named by
// what lies between "[" and the first "]". A header that lacks its "]" still
// starts a section, named by the rest of the line: its keys must not be
// mistaken for keys of the section above it. A line holding "=" is a key;
// anything else (blank lines, stray text) is kept but has no meaning.
IniLine ClassifyLine(std::string_view line) {
    IniLine result;
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i < line.size() && line[i] == '[') {
        const auto close = line.find(']', i + 1);
        result.kind = IniLine::Kind::Section;
        result.name = TrimBlanks(line.substr(i + 1, close == std::string_view::npos
                                                        ? std::string_view::npos
                                                        : close - i - 1));
        return result;
    }
    const auto eq = line.find('=');
    if (eq != std::string_view::npos) {
        result.kind = IniLine::Kind::Key;
        result.name = TrimBlanks(line.substr(0, eq));
        result.valueAt = eq + 1;
    }
    return result;
}

// Blanks around the value dropped, one matching pair of quotes stripped,
// then cut to the longest value a reader gets.
std::string_view CleanValue(std::string_view raw) {
    auto v = TrimBlanks(raw);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v.remove_prefix(1);
        v.remove_suffix(1);
    }
    return v.substr(0, kMaxValueLength);
}

// Calls f(line, begin, end, next) for each line of content: [begin, end) is
// the line without its line end ("\n" and one "\r" before it), next the
// offset of the following line.
template <typename F>
void ForEachLine(std::string_view content, F&& f) {
    std::size_t pos = 0;
    while (pos < content.size()) {
        auto lf = content.find('\n', pos);
        const std::size_t next = lf == std::string_view::npos ? content.size() : lf + 1;
        std::size_t end = lf == std::string_view::npos ? content.size() : lf;
        if (end > pos && content[end - 1] == '\r') --end;
        f(content.substr(pos, end - pos), pos, end, next);
        pos = next;
    }
}

// ---------------------------------------------------------------------------
// The parsed form: lowercased section -> lowercased key -> cleaned value.
// Where a name occurs twice the first occurrence wins, and a section that
// occurs twice is read as one; WriteValue changes that same first line.

struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
template <typename V>
using NameMap = std::unordered_map<std::string, V, NameHash, std::equal_to<>>;
using KeyMap = NameMap<std::string>;
using SectionMap = NameMap<KeyMap>;

// A name lowercased for lookup; short names (all the program's) stay on the
// stack, since a read happens for every received line.
class LoweredName {
public:
    explicit LoweredName(std::string_view name) {
        if (name.size() <= sizeof small_) {
            for (std::size_t i = 0; i < name.size(); ++i) small_[i] = LowerAnsi(name[i]);
            view_ = std::string_view(small_, name.size());
        } else {
            large_ = LowerAnsi(name);
            view_ = large_;
        }
    }
    std::string_view View() const { return view_; }

private:
    char small_[48];
    std::string large_;
    std::string_view view_;
};

// Editors that save "UTF-8 with BOM" put these three bytes first; read as
// text they would hide the first section's header.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string_view WithoutBom(std::string_view content) {
    if (content.starts_with(kUtf8Bom)) content.remove_prefix(kUtf8Bom.size());
    return content;
}

SectionMap Parse(std::string_view content) {
    content = WithoutBom(content);
    SectionMap sections;
    KeyMap* current = nullptr;
    ForEachLine(content, [&](std::string_view line, std::size_t, std::size_t, std::size_t) {
        const auto parsed = ClassifyLine(line);
        if (parsed.kind == IniLine::Kind::Section) {
            current = &sections[LowerAnsi(parsed.name)];
        } else if (parsed.kind == IniLine::Kind::Key && current != nullptr) {
            current->try_emplace(LowerAnsi(parsed.name), CleanValue(line.substr(parsed.valueAt)));
        }
    });
    return sections;
}

// ---------------------------------------------------------------------------
// Process-wide cache of parsed files. The bot reads its profile for every
// received line, so the file is parsed again only when stat shows it changed.
// Our own writes replace the file by rename and so change its inode.
//
// A file changed twice within one tick of the file system's clock can keep
// size and timestamps; so a file changed so recently that a second change
// could still carry the same stamps is never trusted from the cache but read
// again, as it is at that moment. Its change time says when (a program can
// set the modification time back, never the change time) and how fine the
// file system's clock is: one that keeps fractions of a second stamps with
// the kernel's coarse clock, whose tick is at most 10 ms, so a tenth of a
// second leaves room; one that keeps whole seconds (FAT, ext3, some network
// file systems) needs two. A bot that gets a flood of lines right after its
// profile was saved would otherwise read the file again for every line for
// seconds.

struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};

    static FileStamp Of(const struct stat& st) {
        return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const FileStamp& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
               ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

constexpr time_t kRacySeconds = 2;
constexpr long long kRacyNanoseconds = 100'000'000;
constexpr std::size_t kMaxCachedFiles = 16;

bool RecentlyChanged(const FileStamp& stamp) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const timespec& changed = stamp.ctime;
    if (changed.tv_nsec == 0) return changed.tv_sec + kRacySeconds >= now.tv_sec;
    const auto nanoseconds = [](const timespec& t) { return t.tv_sec * 1'000'000'000LL + t.tv_nsec; };
    return nanoseconds(changed) + kRacyNanoseconds >= nanoseconds(now);
}

}  // namespace

struct ProfileFile::Parsed {
    FileStamp stamp;
    SectionMap sections;
};

namespace {

using CachedFile = ProfileFile::Parsed;

bool Find(const SectionMap& sections, std::string_view section, std::string_view key, std::string& value) {
    const auto s = sections.find(LoweredName(section).View());
    if (s == sections.end()) return false;
    const auto k = s->second.find(LoweredName(key).View());
    if (k == s->second.end()) return false;
    value = k->second;
    return true;
}

class ProfileCache {
public:
    static ProfileCache& Instance() {
        static ProfileCache cache;
        return cache;
    }

    // Looks the value up in the file as it is on disk now. False when the
    // file, the section or the key is absent.
    bool Lookup(const std::string& path, std::string_view section, std::string_view key,
                std::string& value) {
        const auto file = Current(path);
        return file && Find(file->sections, section, key, value);
    }

    // The parsed file as it is on disk now; none when it is absent or
    // cannot be read.
    std::shared_ptr<const CachedFile> Current(const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
        std::lock_guard lock(mutex_);
        auto it = files_.find(path);
        if (it == files_.end() || !(it->second->stamp == FileStamp::Of(st))) {
            std::shared_ptr<const CachedFile> fresh = Load(path);
            if (!fresh || RecentlyChanged(fresh->stamp)) return fresh;
            if (it == files_.end()) {
                if (files_.size() >= kMaxCachedFiles) files_.erase(files_.begin());
                it = files_.emplace(path, std::move(fresh)).first;
            } else {
                it->second = std::move(fresh);
            }
        }
        return it->second;
    }

    void Forget(const std::string& path) {
        NoteWrite();
        std::lock_guard lock(mutex_);
        files_.erase(path);
    }

private:
    static std::unique_ptr<CachedFile> Load(const std::string& path);

    std::mutex mutex_;
    std::unordered_map<std::string, std::shared_ptr<const CachedFile>> files_;
};

// Reads the whole file behind an open descriptor; false on a read error.
bool ReadAll(int fd, std::string& out, std::size_t sizeHint) {
    out.clear();
    out.resize(sizeHint + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == out.size()) out.resize(out.size() * 2);
        const auto n = ::read(fd, out.data() + used, out.size() - used);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        used += static_cast<std::size_t>(n);
    }
    out.resize(used);
    return true;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

// The file's bytes and its stamp, taken from the open descriptor so that
// both describe the same file even if it is replaced meanwhile.
bool ReadFile(const std::string& path, std::string& content, FileStamp* stamp, bool followLinks = true) {
    // Non-blocking, so that a FIFO put in the profile's place cannot hang the
    // bot; it is then refused as not a regular file.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW)));
    if (fd.Get() < 0) return false;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (stamp != nullptr) *stamp = FileStamp::Of(st);
    return ReadAll(fd.Get(), content, static_cast<std::size_t>(st.st_size));
}

std::unique_ptr<CachedFile> ProfileCache::Load(const std::string& path) {
    auto file = std::make_unique<CachedFile>();
    std::string content;
    if (!ReadFile(path, content, &file->stamp)) return nullptr;
    file->sections = Parse(content);
    return file;
}

// ---------------------------------------------------------------------------
// Writing

// A value is one line of the file: a line break in a name or value would
// split it and could plant keys or sections of its own, so each becomes a
// blank.
std::string OneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

// What completes the line end of a line that stops before `next`: nothing
// after "\n", the "\n" after a lone "\r" that ends the file (so the line is
// kept whole, not glued to what follows), a full "\r\n" when there is none.
std::string_view LineEndAfter(std::string_view content, std::size_t next) {
    if (next == 0 || content[next - 1] == '\n') return {};
    return content[next - 1] == '\r' ? "\n" : "\r\n";
}

// The new content of the file with key=value stored in section. A byte-order
// mark stays where it is, before everything.
std::string WithValue(std::string_view file, std::string_view section, std::string_view key,
                      std::string_view value) {
    const std::string_view bom = file.substr(0, file.size() - WithoutBom(file).size());
    const std::string_view content = file.substr(bom.size());
    // Only the first occurrence of the section takes new keys; a later
    // duplicate is read as part of it, so its keys are replaced in place.
    bool inSection = false;
    bool inFirst = false;
    bool sectionSeen = false;
    std::size_t insertAt = 0;          // after the first section's last key line
    std::size_t replaceFrom = std::string_view::npos;  // value of the existing key
    std::size_t replaceTo = 0;

    ForEachLine(content, [&](std::string_view line, std::size_t begin, std::size_t end,
                             std::size_t next) {
        if (replaceFrom != std::string_view::npos) return;
        const auto parsed = ClassifyLine(line);
        if (parsed.kind == IniLine::Kind::Section) {
            inSection = EqualsIgnoreCase(parsed.name, section);
            inFirst = inSection && !sectionSeen;
            if (inFirst) {
                sectionSeen = true;
                insertAt = next;
            }
        } else if (parsed.kind == IniLine::Kind::Key && inSection) {
            if (EqualsIgnoreCase(parsed.name, key)) {
                replaceFrom = begin + parsed.valueAt;
                replaceTo = end;
            } else if (inFirst) {
                insertAt = next;
            }
        }
    });

    std::string out(bom);
    out.reserve(file.size() + section.size() + key.size() + value.size() + 8);
    if (replaceFrom != std::string_view::npos) {
        out.append(content.substr(0, replaceFrom));
        out.append(value);
        out.append(content.substr(replaceTo));
    } else if (sectionSeen) {
        out.append(content.substr(0, insertAt));
        out.append(LineEndAfter(content, insertAt));
        out.append(key);
        out += '=';
        out.append(value);
        out += "\r\n";
        out.append(content.substr(insertAt));
    } else {
        out.append(content);
        out.append(LineEndAfter(content, content.size()));
        out += '[';
        out.append(section);
        out += "]\r\n";
        out.append(key);
        out += '=';
        out.append(value);
        out += "\r\n";
    }
    return out;
}

}  // namespace

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

void SyncDirectoryOf(const std::string& path) {
    FileDescriptor dir(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
}

bool ReadWholeFile(const std::string& path, std::string& content, bool followLinks) {
    return ReadFile(path, content, nullptr, followLinks);
}

bool ReplaceWholeFile(const std::string& path, std::string_view content) {
    FileReplacement file(path);
    return file.Write(content) && file.Commit();
}

// ---------------------------------------------------------------------------
// FileReplacement

namespace {

// A short ending of its own for each temporary file, so that the longest
// profile name still leaves room for it (kLongestCompanionSuffix).
std::string TemporaryEnding(unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    unsigned long long value = static_cast<unsigned long long>(::getpid()) * 2654435761ULL +
                               static_cast<unsigned long long>(now.tv_nsec) + counter++ * 40503ULL + attempt;
    std::string ending = ".~";
    constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (int i = 0; i < 6; ++i, value /= 36) ending += kDigits[value % 36];
    return ending;
}

}  // namespace

FileReplacement::FileReplacement(std::string path) : path_(std::move(path)) {
    struct stat old {};
    const bool exists = ::lstat(path_.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return;  // a link, a folder: refused
    if (!exists && errno != ENOENT) return;
    // Its final mode from the first byte: a reader that opens the temporary
    // file early would keep reading what follows (a password, say). A mode
    // the user made stricter stays; a looser one is not taken over.
    const mode_t mode = exists ? (old.st_mode & kPrivateFileMode) : kPrivateFileMode;
    for (unsigned attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temp_ = path_ + TemporaryEnding(attempt);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd_ < 0 && errno != EEXIST) return;
    }
    if (fd_ < 0) return;
    ok_ = true;
    // Best effort: keeps the owner when root edits someone's profile.
    if (exists && ::fchown(fd_, old.st_uid, old.st_gid) != 0) {
        // Not permitted for an ordinary user; the file is theirs anyway.
    }
}

FileReplacement::~FileReplacement() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(temp_.c_str());
}

bool FileReplacement::Write(std::string_view bytes) {
    ok_ = ok_ && fd_ >= 0 && WriteAll(fd_, bytes);
    return ok_;
}

bool FileReplacement::Commit() {
    if (fd_ < 0) return false;
    bool ok = ok_ && ::fsync(fd_) == 0;
    ok = ::close(std::exchange(fd_, -1)) == 0 && ok;
    // The path is looked at again: a link put there meanwhile is replaced
    // itself by the rename, never followed.
    ok = ok && ::rename(temp_.c_str(), path_.c_str()) == 0;
    NoteWrite();
    if (!ok) {
        ::unlink(temp_.c_str());
        return false;
    }
    SyncDirectoryOf(path_);
    return true;
}

// ---------------------------------------------------------------------------
// ProfileFile

bool ProfileFile::Current() const { return pinned_ && pinnedAt_ == writes.load(std::memory_order_relaxed); }

ProfileFile ProfileFile::Pinned() const {
    if (Current()) return *this;
    ProfileFile pinned(path_);
    // Counted first: a write while the file is read leaves the copy stale,
    // never current.
    pinned.pinnedAt_ = writes.load(std::memory_order_relaxed);
    pinned.parsed_ = ProfileCache::Instance().Current(path_);
    pinned.pinned_ = true;
    return pinned;
}

std::string ProfileFile::ReadValue(std::string_view section, std::string_view key,
                                   std::string_view defaultValue) const {
    std::string value;
    if (Current() ? parsed_ && Find(parsed_->sections, section, key, value)
                  : ProfileCache::Instance().Lookup(path_, section, key, value))
        return value;
    return std::string(defaultValue);
}

void ProfileFile::WriteValue(std::string_view section, std::string_view key,
                             std::string_view value) {
    // A symbolic link is refused like a read-only file: a write through it
    // would change a file outside PROFILES.
    const std::string& target = path_;
    struct stat st {};
    const bool exists = ::lstat(target.c_str(), &st) == 0;
    if (exists) {
        // Root may write anywhere, so access() alone would let a profile the
        // user protected with chmod a-w be changed; the owner's write bit
        // decides as well.
        if (!S_ISREG(st.st_mode) || (st.st_mode & S_IWUSR) == 0 ||
            ::access(target.c_str(), W_OK) != 0)
            throw ProfileWriteError(PathFromNative(path_));
    } else if (errno != ENOENT) {
        throw ProfileWriteError(PathFromNative(path_));
    }

    std::string content;
    if (exists && !ReadFile(target, content, nullptr, false)) throw ProfileWriteError(PathFromNative(path_));
    const auto updated = WithValue(content, OneLine(section), OneLine(key), OneLine(value));
    const bool ok = ReplaceWholeFile(target, updated);
    ProfileCache::Instance().Forget(target);
    if (!ok) throw ProfileWriteError(PathFromNative(path_));
}

}  // namespace tovik
