#include "ui/LogView.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>

#include "text/Cp1252.h"
#include "text/Encoding.h"
#include "text/Errors.h"
#include "ui/TextConvert.h"

namespace tovik {
namespace {

constexpr int kFlushIntervalMs = 25;

// One line of the view as saved. Shift+Enter puts a line separator into a
// line instead of starting a new one; on screen it is a line break, and it
// has no Windows-1252 byte, so it is saved as the line break it shows.
void AppendBlockBytes(std::string& out, const QTextBlock& block) {
    // The block's own text: unlike toPlainText() it keeps no-break spaces.
    QString text = block.text();
    text.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    out += FromQt(text);
    out += "\r\n";
}

// A received line as the view shows it, in UTF-8: decoded (DecodeForDisplay),
// and kept to one block. The document starts a new block at a carriage
// return and at U+2029, U+FDD0 and U+FDD1, and breaks the line on screen at
// U+2028; a partner who sends them would otherwise split one line into
// several and shift every later line's place in the journal. They, and NUL,
// show as stand-ins; the saved log keeps the bytes received.
std::string ShownInOneBlock(std::string_view line) {
    std::string shown = DecodeForDisplay(line);
    if (shown.find_first_of(std::string_view("\r\n\0\xE2\xEF", 5)) == std::string::npos) return shown;
    std::string out;
    out.reserve(shown.size() + 8);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const std::string_view rest = std::string_view(shown).substr(i);
        if (rest[0] == '\r') {
            out += "\u240D";  // ␍
        } else if (rest[0] == '\n') {
            out += "\u240A";  // ␊
        } else if (rest[0] == '\0') {
            out += "\u2400";  // ␀
        } else if (rest.starts_with("\u2028") || rest.starts_with("\u2029") || rest.starts_with("\uFDD0") ||
                   rest.starts_with("\uFDD1")) {
            out += "\uFFFD";
            i += 2;  // all four are three bytes long
        } else {
            out += rest[0];
        }
    }
    return out;
}

// Whether the operator has left a received line as it was shown.
bool ShowsAsReceivedText(const QTextBlock& block, std::string_view received) {
    const std::string shown = ShownInOneBlock(received);
    return block.text() == QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

}  // namespace

bool LogView::ShowsAsReceived(const QTextBlock& block, const Unparked& line) {
    return ShowsAsReceivedText(block, line.bytes);
}

LogView::LogView(QWidget* parent, int viewLines, std::size_t unsyncedLimit)
    : QPlainTextEdit(parent),
      viewLines_(std::max(viewLines, 2)),
      trimSlack_(std::max(viewLines / 5, 1)),
      book_(unsyncedLimit) {
    // The undo history would keep every inserted and trimmed line alive.
    setUndoRedoEnabled(false);
    // Tab moves on to the next control, as everywhere else in the window; a
    // tab character in the log would only be saved as one.
    setTabChangesFocus(true);
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kFlushIntervalMs);
    connect(&flushTimer_, &QTimer::timeout, this, &LogView::Flush);
    connect(&book_, &LogBook::LinesDropped, this, [this](const std::string& notice) { AppendLine(notice); });
}

LogView::~LogView() = default;

void LogView::AppendLine(std::string_view line) {
    unparked_.push_back({book_.Append(line), std::string(line)});

    pending_.append(ShownInOneBlock(line));
    pending_ += '\n';
    ++pendingLines_;
    // A flood that outruns the timer must not pile up in memory either.
    if (pendingLines_ >= viewLines_) {
        Flush();
    } else if (!flushTimer_.isActive()) {
        flushTimer_.start();
    }
}

bool LogView::LastBlockEmpty() const {
    return document()->lastBlock().length() <= 1;
}

void LogView::Flush() {
    flushTimer_.stop();
    if (pendingLines_ == 0) return;

    QScrollBar* bar = verticalScrollBar();
    const bool followEnd = bar->value() >= bar->maximum();
    std::string_view batch = pending_;

    const long long nextNumber = firstUnparked_ + static_cast<long long>(unparked_.size());
    int batchLines = pendingLines_;
    if (pendingLines_ > viewLines_ - 1) {
        // The batch alone fills the view: everything the view holds is
        // parked, and so are the batch's oldest lines, which never touch the
        // widget at all (they stand in the journal unchanged).
        SpillOldestBlocks(ViewLineCount());
        QTextCursor all(document());
        all.select(QTextCursor::Document);
        all.removeSelectedText();
        const int surplus = pendingLines_ - (viewLines_ - 1);
        const long long first = nextNumber - pendingLines_;
        const Unparked& a = unparked_[static_cast<std::size_t>(first - firstUnparked_)];
        const Unparked& b = unparked_[static_cast<std::size_t>(first + surplus - 1 - firstUnparked_)];
        ParkJournalRange(a.offset, b.offset + static_cast<long long>(b.bytes.size()) + 2 - a.offset);
        spilledLines_ += surplus;
        ForgetUnparkedThrough(first + surplus - 1);
        std::size_t cut = 0;
        for (int i = 0; i < surplus; ++i) cut = batch.find('\n', cut) + 1;
        batch.remove_prefix(cut);
        batchLines -= surplus;
    }

    // The document always ends in an empty line, like a memo after adding a
    // line; if the operator typed into that last line, it becomes a line of
    // its own before the new ones.
    QString text;
    const bool intoLast = LastBlockEmpty();
    if (!intoLast) text += QLatin1Char('\n');
    text += QString::fromUtf8(batch.data(), static_cast<qsizetype>(batch.size()));
    const int firstBlock = document()->lastBlock().blockNumber() + (intoLast ? 0 : 1);
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    pending_.clear();
    pendingLines_ = 0;
    // Each new block carries its line's number, so that parking can tell a
    // line still as received from one the operator changed.
    long long number = nextNumber - batchLines;
    QTextBlock numbered = document()->findBlockByNumber(firstBlock);
    for (int i = 0; i < batchLines && numbered.isValid(); ++i, numbered = numbered.next())
        numbered.setUserState(static_cast<int>(number++ % kNumberModulus));

    // Trim in chunks, so that the document shifts once per many lines. An
    // operator who has scrolled up keeps the same line at the top, unless
    // that line itself has gone.
    const int blocks = document()->blockCount();
    if (blocks > viewLines_ + trimSlack_) {
        const int top = firstVisibleBlock().blockNumber();
        const int removed = SpillOldestBlocks(blocks - viewLines_);
        if (!followEnd) {
            const QTextBlock block = document()->findBlockByNumber(std::max(top - removed, 0));
            bar->setValue(block.firstLineNumber());
        }
    }

    if (followEnd) bar->setValue(bar->maximum());
}

int LogView::ViewLineCount() const {
    const int blocks = document()->blockCount();
    return LastBlockEmpty() ? blocks - 1 : blocks;
}

const LogView::Unparked* LogView::FindUnparked(int blockState, long long* number) const {
    if (blockState < 0 || unparked_.empty()) return nullptr;
    // The numbers waiting to be parked are far fewer than the modulus, so a
    // state names at most one of them.
    const long long base = firstUnparked_ % kNumberModulus;
    const long long delta = ((blockState - base) % kNumberModulus + kNumberModulus) % kNumberModulus;
    if (delta >= static_cast<long long>(unparked_.size())) return nullptr;
    *number = firstUnparked_ + delta;
    return &unparked_[static_cast<std::size_t>(delta)];
}

void LogView::ForgetUnparkedThrough(long long number) {
    while (!unparked_.empty() && firstUnparked_ <= number) {
        unparked_.pop_front();
        ++firstUnparked_;
    }
}

void LogView::ParkJournalRange(long long offset, long long length) {
    if (!parked_.empty() && parked_.back().length > 0 && parked_.back().offset + parked_.back().length == offset) {
        parked_.back().length += length;
    } else {
        parked_.push_back({offset, length, {}});
    }
}

void LogView::ParkChanged(std::string_view crlfBytes) {
    if (parked_.empty() || parked_.back().length > 0) parked_.emplace_back();
    parked_.back().text.append(crlfBytes);
}

int LogView::SpillOldestBlocks(int count) {
    count = std::min(count, ViewLineCount());
    if (count <= 0) return 0;
    QTextDocument* doc = document();
    QTextBlock block = doc->begin();
    long long lastNumber = -1;
    std::string bytes;
    for (int i = 0; i < count; ++i, block = block.next()) {
        bytes.clear();
        AppendBlockBytes(bytes, block);
        long long number = -1;
        const Unparked* line = FindUnparked(block.userState(), &number);
        if (line != nullptr) lastNumber = std::max(lastNumber, number);
        if (line != nullptr && ShowsAsReceived(block, *line)) {
            ParkJournalRange(line->offset, static_cast<long long>(line->bytes.size()) + 2);
        } else {
            ParkChanged(bytes);
        }
    }
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::Start);
    if (block.isValid()) {
        cursor.setPosition(block.position(), QTextCursor::KeepAnchor);
    } else {
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
    spilledLines_ += count;
    // Lines up to the newest one parked are gone from the view, whether
    // parked or deleted by the operator.
    ForgetUnparkedThrough(lastNumber);
    return count;
}

std::string LogView::ViewTextForSave() const {
    std::string bytes;
    const int lines = ViewLineCount();
    QTextBlock block = document()->begin();
    for (int i = 0; i < lines && block.isValid(); ++i, block = block.next()) {
        // A line as received keeps its bytes, UTF-8 or Windows-1252; one the
        // operator changed is saved in Windows-1252 as before.
        long long number = -1;
        const Unparked* line = FindUnparked(block.userState(), &number);
        if (line != nullptr && ShowsAsReceived(block, *line)) {
            bytes += line->bytes;
            bytes += "\r\n";
        } else {
            AppendBlockBytes(bytes, block);
        }
    }
    return bytes;
}

void LogView::SaveTo(const std::string& path) {
    book_.TellDrops();
    Flush();
    book_.SaveTo(path, parked_, ViewTextForSave());
    savedSize_ = book_.Size();
    savedRevision_ = document()->revision();
    saved_ = true;
}

bool LogView::SavedAsShown() const {
    return saved_ && pendingLines_ == 0 && savedSize_ == book_.Size() && savedRevision_ == document()->revision();
}

void LogView::JournalBeside(const std::string& logPath) { book_.JournalBeside(logPath); }

void LogView::JournalDone() { book_.JournalDone(); }

void LogView::SyncJournal() { book_.Sync(); }

}  // namespace tovik
