#include "app/LogJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "profile/ProfileStore.h"

namespace tovik {
namespace {

constexpr std::size_t kChunk = 64 * 1024;
constexpr int kOpenFlags = O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;

bool ReadAt(int fd, long long fileOffset, long long length, std::string& out) {
    char chunk[kChunk];
    while (length > 0) {
        const auto n = ::pread(fd, chunk, static_cast<std::size_t>(std::min<long long>(length, sizeof chunk)),
                               static_cast<off_t>(fileOffset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out.append(chunk, static_cast<std::size_t>(n));
        fileOffset += n;
        length -= n;
    }
    return true;
}

// Copies [from, to) of the file behind `in` to `out`, a chunk at a time.
bool CopyRange(int in, long long from, long long to, int out) {
    std::string chunk;
    for (long long at = from; at < to; at += static_cast<long long>(kChunk)) {
        chunk.clear();
        if (!ReadAt(in, at, std::min<long long>(static_cast<long long>(kChunk), to - at), chunk) ||
            !WriteAll(out, chunk))
            return false;
    }
    return true;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// Whether a new log can be put at the path: a regular file or nothing; a
// folder or a link in its place is never replaced.
bool LogCanTake(const std::string& logPath, mode_t* mode) {
    struct stat st {};
    if (::lstat(logPath.c_str(), &st) != 0) {
        *mode = kPrivateFileMode;
        return errno == ENOENT;
    }
    *mode = st.st_mode & kPrivateFileMode;
    return S_ISREG(st.st_mode);
}

// Appends the whole regular file at path to out; *lastByte gets its last
// byte (unchanged for an empty or missing file, which adds nothing).
bool AppendFile(const std::string& path, int out, char* lastByte) {
    const int in = ::open(path.c_str(), O_RDONLY | kOpenFlags);
    if (in < 0) return errno == ENOENT;
    struct stat st {};
    bool ok = ::fstat(in, &st) == 0 && S_ISREG(st.st_mode) && CopyRange(in, 0, st.st_size, out);
    if (ok && st.st_size > 0) {
        std::string last;
        ok = ReadAt(in, st.st_size - 1, 1, last);
        if (ok) *lastByte = last[0];
    }
    ::close(in);
    return ok;
}

// The last step of a fold: the complete new log takes the log's place.
bool CommitFolded(const std::string& foldedPath, const std::string& logPath) {
    mode_t mode = 0;
    if (!LogCanTake(logPath, &mode) || ::rename(foldedPath.c_str(), logPath.c_str()) != 0) return false;
    SyncDirectoryOf(logPath);
    return true;
}

// Folds the file at foldingPath into the log. The steps, each on the disk
// before the next, are such that the files present say how far a crash let
// the fold come, without looking into them:
//   1. the new log (the log, then the folding file) is written whole under
//      the folded name: while the folding file exists, that new log may be
//      incomplete and is made again;
//   2. the folding file is removed: from here on the folded file is the
//      complete new log and only
//   3. its rename over the log is missing.
bool Fold(const std::string& logPath, const std::string& foldingPath, const std::string& foldedPath) {
    mode_t mode = 0;
    if (!LogCanTake(logPath, &mode)) return false;
    ::unlink(foldedPath.c_str());  // what a crash left of step 1
    const int out = ::open(foldedPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | kOpenFlags, mode);
    if (out < 0) return false;
    char last = '\n';
    bool ok = AppendFile(logPath, out, &last);
    // The log is written line by line with CR LF; one changed by hand may
    // lack the last line end, and the first folded line must not join it.
    if (ok && last != '\n') ok = WriteAll(out, "\r\n");
    ok = ok && AppendFile(foldingPath, out, &last) && ::fsync(out) == 0;
    ok = ::close(out) == 0 && ok;
    if (ok) SyncDirectoryOf(foldedPath);
    if (!ok || ::unlink(foldingPath.c_str()) != 0) {
        ::unlink(foldedPath.c_str());
        return false;
    }
    SyncDirectoryOf(foldingPath);
    return CommitFolded(foldedPath, logPath);
}

}  // namespace

LogJournal::~LogJournal() {
    // Not removed: a view that goes without its log having been saved has
    // ended abnormally, and the next start folds the file into the log.
    CloseFile();
    for (const Retired& part : retired_)
        if (part.fd >= 0) ::close(part.fd);
}

void LogJournal::CloseFile() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool LogJournal::OwnsPath() const {
    struct stat st {};
    return fd_ >= 0 && ::lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
}

long long LogJournal::Append(std::string_view bytes) {
    const long long at = Size();
    pending_.append(bytes);
    return at;
}

bool LogJournal::Sync() {
    if (pending_.empty() || path_.empty()) return true;
    if (fd_ < 0) {
        // A file of that name would be a leftover not folded (its log could
        // not be written); appending keeps both its lines and ours.
        // Never through a link: the appends would land outside PROFILES.
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_APPEND | kOpenFlags, kPrivateFileMode);
        if (fd_ < 0) return false;
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            CloseFile();
            return false;
        }
        device_ = st.st_dev;
        inode_ = st.st_ino;
        const off_t existing = ::lseek(fd_, 0, SEEK_END);
        fileBegin_ = written_ - (existing > 0 ? existing : 0);
        fileStart_ = written_;
        SyncDirectoryOf(path_);
    }
    if (!WriteAll(fd_, pending_)) {
        // Disk full or similar: what went in is cut off again, so that the
        // next try appends the whole pending text in its place.
        if (::ftruncate(fd_, static_cast<off_t>(written_ - fileBegin_)) != 0) {
            // Nothing better to do; the file's tail then holds a part twice.
        }
        return false;
    }
    written_ += static_cast<long long>(pending_.size());
    pending_.clear();
    return ::fdatasync(fd_) == 0;
}

bool LogJournal::Read(long long offset, long long length, std::string& out) const {
    const long long end = offset + length;
    // Copies the part of [offset, end) that lies in [begin, stop).
    auto take = [&](long long begin, long long stop, auto&& copy) {
        const long long from = std::max(offset, begin);
        const long long to = std::min(end, stop);
        return from >= to || copy(from, to - from);
    };
    bool ok = true;
    for (const Retired& part : retired_) {
        ok = ok && take(part.begin, part.end, [&](long long at, long long count) {
                 if (part.dropped) return true;
                 if (part.fd >= 0) return ReadAt(part.fd, at - part.fileBegin, count, out);
                 out.append(part.bytes, static_cast<std::size_t>(at - part.begin), static_cast<std::size_t>(count));
                 return true;
             });
    }
    if (fd_ >= 0) {
        ok = ok && take(fileStart_, written_,
                        [&](long long at, long long count) { return ReadAt(fd_, at - fileBegin_, count, out); });
    }
    ok = ok && take(written_, Size(), [&](long long at, long long count) {
             out.append(pending_, static_cast<std::size_t>(at - written_), static_cast<std::size_t>(count));
             return true;
         });
    return ok;
}

bool LogJournal::MoveTo(const std::string& path) {
    if (path == path_) return true;
    if (fd_ >= 0) {
        if (OwnsPath()) {
            if (::rename(path_.c_str(), path.c_str()) != 0) return false;
            SyncDirectoryOf(path);
        } else {
            // Its name was taken away (by hand, or by another copy): the file
            // stays readable, and the lines from now on start a new one.
            RetireFile(false);
        }
    }
    path_ = path;
    return true;
}

bool LogJournal::JoinInto(const std::string& path) {
    if (path == path_) return true;
    if (fd_ >= 0) {
        Sync();
        const int out = ::open(path.c_str(), O_WRONLY | O_APPEND | kOpenFlags);
        if (out < 0) return false;
        struct stat st {};
        bool ok = ::fstat(out, &st) == 0 && S_ISREG(st.st_mode) &&
                  CopyRange(fd_, fileStart_ - fileBegin_, written_ - fileBegin_, out) && ::fdatasync(out) == 0;
        ok = ::close(out) == 0 && ok;
        if (!ok) return false;
        RetireFile(true);
    }
    path_ = path;
    return true;
}

void LogJournal::RetireFile(bool removeIt) {
    if (fd_ < 0) return;
    if (removeIt && OwnsPath()) {
        ::unlink(path_.c_str());
        SyncDirectoryOf(path_);
    }
    retired_.push_back({fd_, fileBegin_, fileStart_, written_, {}});
    fd_ = -1;
}

void LogJournal::Retire() {
    Sync();
    RetireFile(true);
    if (!pending_.empty()) {
        retired_.push_back({-1, 0, written_, Size(), pending_});
        written_ = Size();
        pending_.clear();
    }
}

void LogJournal::End() {
    Retire();
    path_.clear();
}

void LogJournal::Leave() {
    Sync();
    RetireFile(false);
    path_.clear();
}

std::size_t LogJournal::DropOldestPending(std::size_t atLeast) {
    if (atLeast == 0 || pending_.empty()) return 0;
    // Whole lines only; each ends in a line feed, which no received line holds.
    std::size_t cut = pending_.find('\n', std::min(atLeast, pending_.size()) - 1);
    cut = cut == std::string::npos ? pending_.size() : cut + 1;
    std::size_t lines = 0;
    for (std::size_t i = 0; i < cut; ++i) lines += pending_[i] == '\n';
    // What the current file holds so far stays readable as a part of its
    // own; the file goes on after the gap.
    if (fd_ >= 0) {
        if (written_ > fileStart_) {
            const int copy = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
            retired_.push_back({copy, fileBegin_, fileStart_, written_, {}, copy < 0});
        }
        fileStart_ = written_ + static_cast<long long>(cut);
        fileBegin_ += static_cast<long long>(cut);
    }
    retired_.push_back({-1, 0, written_, written_ + static_cast<long long>(cut), {}, true});
    written_ += static_cast<long long>(cut);
    pending_.erase(0, cut);
    return lines;
}

bool LogJournal::FoldLeftover(const std::string& logPath) {
    const std::string foldingPath = FoldingBeside(logPath);
    const std::string foldedPath = FoldedBeside(logPath);
    // A fold that a crash cut short goes on where it stopped.
    if (!Exists(foldingPath) && Exists(foldedPath) && !CommitFolded(foldedPath, logPath)) return false;
    if (Exists(foldingPath) && !Fold(logPath, foldingPath, foldedPath)) return false;
    // The leftover gets a name of its own first: from then on a crash at any
    // step folds its lines once, never twice and never not at all.
    const std::string leftoverPath = FileBeside(logPath);
    struct stat st {};
    if (::lstat(leftoverPath.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISREG(st.st_mode)) return false;
    // A log that cannot take it (a folder, a link in its place) leaves the
    // leftover where it was.
    mode_t mode = 0;
    if (!LogCanTake(logPath, &mode)) return false;
    if (::rename(leftoverPath.c_str(), foldingPath.c_str()) != 0) return false;
    SyncDirectoryOf(foldingPath);
    return Fold(logPath, foldingPath, foldedPath);
}

void LogJournal::ForgetFolding(const std::string& logPath) {
    ::unlink(FoldingBeside(logPath).c_str());
    ::unlink(FoldedBeside(logPath).c_str());
}

}  // namespace tovik
