#pragma once
// The main window's log: every line the server sends, in arrival order,
// editable by the operator and saved beside the profile at closing.
//
// A bot runs for days, and a text widget costs far more per line than the
// line itself. So the widget holds only the newest lines; older ones are
// taken out of the document and parked. Saving writes the parked lines first
// and then the widget's text, so the saved log is complete.
//
// Every received line also goes into a journal beside the profile's log
// (LogJournal), forced to the disk within half a second of its arrival: a
// run that ends by a crash or a power loss leaves its lines there, and the
// next start with that profile folds them into the log. The parked lines are
// kept as places in that journal; only a line the operator changed before it
// left the view is kept in memory, as changed.
//
// Lines arrive one by one but are inserted in batches on a short timer: one
// insertion and one relayout per batch instead of one per line.

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTimer>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "app/LogBook.h"

namespace tovik {

class LogView : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kDefaultViewLines = 5000;
    // How long a received line may wait before it is on the disk.
    static constexpr int kJournalIntervalMs = LogBook::kJournalIntervalMs;

    explicit LogView(QWidget* parent = nullptr, int viewLines = kDefaultViewLines,
                     std::size_t unsyncedLimit = LogBook::kDefaultUnsyncedLimit);
    ~LogView() override;

    // One received line as it arrived, without its line end. It is shown as
    // UTF-8 when it is valid UTF-8 and as Windows-1252 otherwise, so umlauts
    // read right from either kind of client. Shows up at the next flush.
    void AppendLine(std::string_view line);
    // Inserts everything collected so far; runs by itself on a short timer.
    void Flush();

    // Writes the whole log: the spilled lines, then the lines of the view,
    // each followed by CR LF, replacing the file. A line as received keeps
    // its bytes; a line the operator changed is written in Windows-1252.
    // Throws FileCreateError naming the path when the file cannot be written.
    // The path is the operating system's bytes.
    void SaveTo(const std::string& path);
    // Whether the file last saved holds what the view holds now, so that a
    // second ending need not write it again.
    bool SavedAsShown() const;

    // The log of the profile just loaded is logPath; see LogBook.
    void JournalBeside(const std::string& logPath);
    // The log was saved (or, with no profile, deliberately not): the journal
    // file is removed, so that no later start folds its lines in again.
    void JournalDone();
    // Writes the journal out and forces it to the disk; runs by itself on a
    // timer within kJournalIntervalMs of each line's arrival.
    void SyncJournal();
    const std::string& JournalPath() const { return book_.JournalPath(); }
    // Where the journal's failures are told.
    LogBook& Book() { return book_; }

    // What the view holds now, one entry per line, in the saved form's order.
    int ViewLineCount() const;
    long long SpilledLineCount() const { return spilledLines_; }
    int ViewLimit() const { return viewLines_; }

private:
    // A received line that has not been parked yet, and where it stands in
    // the journal. The view's blocks carry the line's number (modulo
    // kNumberModulus) as their user state.
    struct Unparked {
        long long offset;
        std::string bytes;  // without the line end
    };
    // A stretch of the parked lines: either a range of the journal or text
    // that the operator changed.
    using Parked = LogBook::Piece;
    static constexpr int kNumberModulus = 1 << 30;

    void ParkJournalRange(long long offset, long long length);
    void ParkChanged(std::string_view crlfBytes);
    void ForgetUnparkedThrough(long long number);
    const Unparked* FindUnparked(int blockState, long long* number) const;
    static bool ShowsAsReceived(const QTextBlock& block, const Unparked& line);
    int SpillOldestBlocks(int count);  // returns how many went
    bool LastBlockEmpty() const;
    std::string ViewTextForSave() const;

    const int viewLines_;
    const int trimSlack_;
    std::string pending_;  // received lines, each ended by '\n'
    int pendingLines_ = 0;
    QTimer flushTimer_;

    LogBook book_;
    long long savedSize_ = 0;
    int savedRevision_ = 0;
    bool saved_ = false;
    std::deque<Unparked> unparked_;
    long long firstUnparked_ = 0;  // the number of unparked_.front()
    std::vector<Parked> parked_;
    long long spilledLines_ = 0;
};

}  // namespace tovik
