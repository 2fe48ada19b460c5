#pragma once
// The log's journal: every received line, in the log file's own form (CR LF
// after each), appended to a file beside the log. The view writes it out on
// a short timer and forces it to the disk, so that a crash or a power loss
// loses at most the last moments; the next time that log is opened, what a
// crashed run left there is folded into the log file.
//
// The journal is also where the view parks its older lines: as long as the
// operator has not changed a line, the view keeps only where it stands in
// the journal. Bytes are addressed by their offset since the journal began,
// which stays valid when the file is moved or retired.
//
// A journal only ever removes or renames the file it wrote itself: before it
// touches its path it checks that the path still names that file (device and
// inode of the open descriptor), so that a second copy's journal at the same
// place is never taken for its own.
//
// Paths are the operating system's bytes. Qt-free.

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace tovik {

class LogJournal {
public:
    LogJournal() = default;
    ~LogJournal();
    LogJournal(const LogJournal&) = delete;
    LogJournal& operator=(const LogJournal&) = delete;

    // The journal file beside a log file.
    static std::string FileBeside(const std::string& logPath) { return logPath + ".parked"; }
    // Where a leftover journal stands while it is folded into the log.
    static std::string FoldingBeside(const std::string& logPath) { return logPath + ".folding"; }
    // The new log while a fold makes it; complete once no folding file is left.
    static std::string FoldedBeside(const std::string& logPath) { return logPath + ".folded"; }

    // Appends the bytes (they reach the file at the next Sync) and returns
    // the offset of their first byte.
    long long Append(std::string_view bytes);
    long long Size() const { return written_ + static_cast<long long>(pending_.size()); }
    std::size_t PendingBytes() const { return pending_.size(); }

    // Writes what is pending and forces it to the disk, creating the file at
    // the first call with a path. False when that fails; the bytes then stay
    // pending and are tried again at the next call.
    bool Sync();

    // Gives up the oldest pending lines, at least `atLeast` bytes of them,
    // when they cannot reach the disk and memory must stay bounded; returns
    // how many lines went. Their offsets read back as nothing.
    std::size_t DropOldestPending(std::size_t atLeast);

    // Appends the bytes [offset, offset + length) to out (nothing for
    // dropped ones); false when the file cannot be read back.
    bool Read(long long offset, long long length, std::string& out) const;

    // From now on the journal file is at path: its own file is renamed
    // there. False when the rename fails; the file then stays where it was.
    bool MoveTo(const std::string& path);
    // From now on the journal appends to the file at path, a leftover that
    // could not be folded: the lines its own file holds are appended there
    // first, and its own file leaves the disk. False when that fails; the
    // journal then stays where it was.
    bool JoinInto(const std::string& path);
    const std::string& Path() const { return path_; }
    bool HasFile() const { return fd_ >= 0; }

    // The log file now holds every line: the file leaves the disk, so that no
    // later start folds it in a second time. What it held stays readable for
    // the view; later lines start a new file at the same place.
    void Retire();
    // As Retire, but later lines wait in memory for a new place (MoveTo).
    void End();
    // The journal stops writing where it is, its lines on the disk for the
    // next start to fold; later lines wait in memory for a new place.
    void Leave();

    // Folds the journal that a run which did not end normally left beside
    // logPath into the log file, finishing first a fold cut short by a crash.
    // True when there was nothing to fold or folding succeeded; the memory
    // it takes does not grow with the files.
    static bool FoldLeftover(const std::string& logPath);
    // The log was saved whole: a fold that failed earlier has nothing left
    // to add that the saved log would keep.
    static void ForgetFolding(const std::string& logPath);

private:
    // A retired file, unlinked or left, but open; or the bytes that never
    // reached one.
    struct Retired {
        int fd = -1;
        long long fileBegin = 0;  // the offset that the file's first byte would have
        long long begin = 0;      // [begin, end) are ours
        long long end = 0;
        std::string bytes;  // when fd < 0
        bool dropped = false;  // given up; reads as nothing
    };
    // Whether path_ still names the file behind fd_.
    bool OwnsPath() const;
    // The current file stays readable but is written no more; with
    // `removeIt`, its name leaves the disk (when it is still ours).
    void RetireFile(bool removeIt);
    void CloseFile();

    std::string path_;
    int fd_ = -1;
    dev_t device_ = 0;  // the identity of fd_'s file
    ino_t inode_ = 0;
    long long fileBegin_ = 0;  // the offset that the current file's first byte would have
    long long fileStart_ = 0;  // the first of our bytes in the current file
    long long written_ = 0;    // offset after the last byte written to a file
    std::string pending_;      // the bytes from written_ on
    std::vector<Retired> retired_;
};

}  // namespace tovik
