#include "app/LogBook.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "profile/ProfileStore.h"
#include "text/Cp1252.h"
#include "text/Errors.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;

// A flood is written out in pieces, so that memory does not wait for the timer.
constexpr std::size_t kJournalBatchBytes = 1 << 20;

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

LogBook::LogBook(std::size_t unsyncedLimit, QObject* parent)
    : QObject(parent), limit_(std::max<std::size_t>(unsyncedLimit, 1)) {
    timer_.setSingleShot(true);
    timer_.setInterval(kJournalIntervalMs);
    connect(&timer_, &QTimer::timeout, this, &LogBook::Sync);
}

LogBook::~LogBook() { journal_.Sync(); }

long long LogBook::Append(std::string_view line) {
    const long long at = journal_.Append(line);
    journal_.Append("\r\n");
    // Down to three quarters at once, so that a refusing disk costs one cut
    // per many lines, not one per line.
    if (journal_.PendingBytes() > limit_)
        dropped_ += static_cast<long long>(journal_.DropOldestPending(journal_.PendingBytes() - limit_ / 4 * 3));
    // A disk that refuses is tried on the timer only, not for every line.
    if (journal_.PendingBytes() >= kJournalBatchBytes && !failing_) {
        Sync();
    } else if (!timer_.isActive()) {
        timer_.start();
    }
    return at;
}

void LogBook::TellDrops() {
    if (dropped_ == 0) return;
    const std::string notice = "*** " + std::to_string(dropped_) +
                               std::string(" ältere Zeilen verworfen: das Journal konnte nicht geschrieben werden ***"_w1252);
    dropped_ = 0;
    emit LinesDropped(notice);
}

void LogBook::Sync() {
    timer_.stop();
    // No profile yet: the lines wait for the journal of the one loaded.
    if (journal_.Path().empty()) return;
    if (journal_.Sync()) {
        failing_ = false;
        // Told from the event loop, not from inside the Append that synced.
        if (dropped_ > 0) QTimer::singleShot(0, this, &LogBook::TellDrops);
        return;
    }
    timer_.start();
    if (failing_) return;
    failing_ = true;
    emit JournalFailed(FileCreateError(PathFromNative(journal_.Path())).what());
}

void LogBook::JournalBeside(const std::string& logPath) {
    const std::string journalPath = LogJournal::FileBeside(logPath);
    if (journalPath == journal_.Path()) return;
    const bool folded = LogJournal::FoldLeftover(logPath);
    // A leftover that could not be folded is never renamed over: the journal
    // joins it instead, so that nothing of it stays at the old profile's place.
    const bool joining = !folded && journal_.HasFile() && Exists(journalPath);
    const bool moved = joining ? journal_.JoinInto(journalPath) : journal_.MoveTo(journalPath);
    if (!moved) {
        // Neither: the file leaves the old place all the same (its lines stay
        // readable for the saved log), and later lines start anew here.
        journal_.End();
        journal_.MoveTo(journalPath);
    }
    failing_ = false;
    Sync();
    if (!moved) throw FileCreateError(PathFromNative(journalPath));
    if (!folded) throw FileCreateError(PathFromNative(logPath));
}

void LogBook::JournalDone() { journal_.Retire(); }

void LogBook::SaveTo(const std::string& path, const std::vector<Piece>& pieces, std::string_view tail) {
    const std::string shownPath = PathFromNative(path);
    FileReplacement out(path);
    if (!out.Opened()) throw FileCreateError(shownPath);
    constexpr long long kChunk = 256 * 1024;
    std::string chunk;
    bool ok = true;
    for (const Piece& piece : pieces) {
        ok = ok && out.Write(piece.text);
        for (long long at = piece.offset; ok && at < piece.offset + piece.length; at += kChunk) {
            chunk.clear();
            ok = journal_.Read(at, std::min(kChunk, piece.offset + piece.length - at), chunk) && out.Write(chunk);
        }
    }
    ok = ok && out.Write(tail);
    if (!ok || !out.Commit()) throw FileCreateError(shownPath);
    LogJournal::ForgetFolding(path);
}

}  // namespace tovik
