#include "ui/LogJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "profile/ProfileStore.h"

namespace tovik {
namespace {

bool ReadAt(int fd, long long fileOffset, long long length, std::string& out) {
    char chunk[64 * 1024];
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
        fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
        if (fd_ < 0) return false;
        struct stat st {};
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
            CloseFile();
            return false;
        }
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
        if (::rename(path_.c_str(), path.c_str()) != 0) return false;
        SyncDirectoryOf(path);
    }
    path_ = path;
    return true;
}

void LogJournal::Retire() {
    Sync();
    if (fd_ >= 0) {
        ::unlink(path_.c_str());
        SyncDirectoryOf(path_);
        retired_.push_back({fd_, fileBegin_, fileStart_, written_, {}});
        fd_ = -1;
    }
    if (!pending_.empty()) {
        retired_.push_back({-1, 0, written_, Size(), pending_});
        written_ = Size();
        pending_.clear();
    }
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

namespace {

// A fold finished up to the log's replacement leaves the log ending in the
// folded text; finding it so, a later start only removes the folding file.
bool FinishFold(const std::string& logPath, const std::string& foldingPath) {
    std::string folding;
    if (!ReadWholeFile(foldingPath, folding, false)) return errno == ENOENT;
    if (!folding.empty()) {
        std::string log;
        if (!ReadWholeFile(logPath, log, false) && errno != ENOENT) return false;
        if (!log.ends_with(folding)) {
            // The log is written line by line with CR LF; one changed by hand
            // may lack the last line end, and the first folded line must not
            // join it.
            if (!log.empty() && log.back() != '\n') log += "\r\n";
            log += folding;
            if (!ReplaceWholeFile(logPath, log)) return false;
        }
    }
    ::unlink(foldingPath.c_str());
    SyncDirectoryOf(foldingPath);
    return true;
}

}  // namespace

bool LogJournal::FoldLeftover(const std::string& logPath) {
    // The leftover gets a name of its own before the log is replaced: a
    // crash at any step then folds its lines once, never twice.
    const std::string foldingPath = FoldingBeside(logPath);
    if (!FinishFold(logPath, foldingPath)) return false;
    const std::string leftoverPath = FileBeside(logPath);
    struct stat st {};
    if (::lstat(leftoverPath.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISREG(st.st_mode)) return false;
    // A log that cannot take it (a folder, a link in its place) leaves the
    // leftover where it was.
    if (::lstat(logPath.c_str(), &st) == 0 ? !S_ISREG(st.st_mode) : errno != ENOENT) return false;
    if (::rename(leftoverPath.c_str(), foldingPath.c_str()) != 0) return false;
    SyncDirectoryOf(foldingPath);
    return FinishFold(logPath, foldingPath);
}

void LogJournal::ForgetFolding(const std::string& logPath) { ::unlink(FoldingBeside(logPath).c_str()); }

}  // namespace tovik
