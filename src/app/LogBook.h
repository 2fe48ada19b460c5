#pragma once
// What the window and the headless bot keep of the received lines: the
// journal beside the profile's log, written out on a short timer and forced
// to the disk, and the saving of the log at the end. Both go through this one
// class, so that both save the same bytes for the same lines.
//
// A journal that cannot be written is said once (JournalFailed) and tried
// again on the timer; the lines wait in memory meanwhile, up to a bound,
// beyond which the oldest of them are given up. One count line says so once
// the journal works again, or at the end: never a line per loss, which would
// only fill the bound itself.

#include <QObject>
#include <QTimer>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "app/LogJournal.h"

namespace tovik {

class LogBook : public QObject {
    Q_OBJECT
public:
    // How long a received line may wait before it is on the disk.
    static constexpr int kJournalIntervalMs = 500;
    // How much may wait for a disk that refuses.
    static constexpr std::size_t kDefaultUnsyncedLimit = std::size_t{64} << 20;

    explicit LogBook(std::size_t unsyncedLimit = kDefaultUnsyncedLimit, QObject* parent = nullptr);
    // Whatever ends it without a save, the journal keeps every line.
    ~LogBook() override;

    // One received line, without its line end (CR LF is added); returns the
    // offset of its first byte.
    long long Append(std::string_view line);
    // Tells (LinesDropped) how many lines were given up since it last did;
    // runs by itself once the journal works again.
    void TellDrops();
    long long Size() const { return journal_.Size(); }
    std::size_t PendingBytes() const { return journal_.PendingBytes(); }
    bool Read(long long offset, long long length, std::string& out) const {
        return journal_.Read(offset, length, out);
    }

    // Writes the journal out and forces it to the disk; runs by itself on a
    // timer within kJournalIntervalMs of each line's arrival.
    void Sync();
    // The log of the profile just loaded is logPath (the operating system's
    // bytes): what a run that did not end normally left beside it is folded
    // into it first, then the journal moves beside it. Throws FileCreateError
    // naming the log when the fold fails; the leftover then stays, and the
    // journal appends to the leftover (its own lines copied there first),
    // losing neither.
    void JournalBeside(const std::string& logPath);
    // The log was saved (or, with no profile, deliberately not): the journal
    // file is removed, so that no later start folds its lines in again.
    void JournalDone();
    // The profile is given up (deleted): its journal file goes as well, and
    // later lines wait in memory until the next profile's JournalBeside.
    void JournalEnded() { journal_.End(); }
    // This copy lets go of the profile without saving: the journal stays on
    // the disk, whole, for the next start; nothing is written to it after.
    void JournalLeft() { journal_.Leave(); }
    const std::string& JournalPath() const { return journal_.Path(); }

    // A stretch of the saved log: a range of the journal, or text.
    struct Piece {
        long long offset = 0;
        long long length = 0;
        std::string text;  // when length == 0
    };
    // Writes the pieces and then the tail as the log file at path (the
    // operating system's bytes), replacing it at once. Throws FileCreateError
    // naming the path when it cannot be written.
    void SaveTo(const std::string& path, const std::vector<Piece>& pieces, std::string_view tail = {});

signals:
    // The journal cannot be created or written (German, naming the file);
    // once, and again only after a write worked in between.
    void JournalFailed(const std::string& text);
    // The count line of lines given up (Windows-1252); the owner appends it
    // as a line, so that view, journal and saved log show it alike.
    void LinesDropped(const std::string& notice);

private:
    LogJournal journal_;
    QTimer timer_;
    const std::size_t limit_;
    bool failing_ = false;
    long long dropped_ = 0;
};

}  // namespace tovik
