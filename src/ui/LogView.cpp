#include "ui/LogView.h"

#include <QScrollBar>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <cstdio>

#include "text/Cp1252.h"
#include "text/Errors.h"
#include "ui/TextConvert.h"

namespace tovik {
namespace {

constexpr int kFlushIntervalMs = 25;

// "a\nb\n" -> "a\r\nb\r\n": spilled lines are still bytes, no widget involved.
void AppendCrLf(std::string& out, std::string_view lfLines) {
    out.reserve(out.size() + lfLines.size() + lfLines.size() / 16);
    std::size_t start = 0;
    while (start < lfLines.size()) {
        const std::size_t nl = lfLines.find('\n', start);
        const std::size_t end = nl == std::string_view::npos ? lfLines.size() : nl;
        out.append(lfLines.substr(start, end - start));
        out += "\r\n";
        start = end + 1;
    }
}

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

}  // namespace

LogView::LogView(QWidget* parent, int viewLines)
    : QPlainTextEdit(parent),
      viewLines_(std::max(viewLines, 2)),
      trimSlack_(std::max(viewLines / 5, 1)) {
    // The undo history would keep every inserted and trimmed line alive.
    setUndoRedoEnabled(false);
    // Tab moves on to the next control, as everywhere else in the window; a
    // tab character in the log would only be saved as one.
    setTabChangesFocus(true);
    flushTimer_.setSingleShot(true);
    flushTimer_.setInterval(kFlushIntervalMs);
    connect(&flushTimer_, &QTimer::timeout, this, &LogView::Flush);
}

LogView::~LogView() = default;

void LogView::AppendLine(std::string_view line) {
    pending_.append(line);
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

    if (pendingLines_ > viewLines_ - 1) {
        // The batch alone fills the view: everything the view holds goes to
        // the scratch file, and so do the batch's oldest lines, which never
        // touch the widget at all.
        SpillOldestBlocks(ViewLineCount());
        QTextCursor all(document());
        all.select(QTextCursor::Document);
        all.removeSelectedText();
        const int surplus = pendingLines_ - (viewLines_ - 1);
        std::size_t cut = 0;
        for (int i = 0; i < surplus; ++i) cut = batch.find('\n', cut) + 1;
        std::string crlf;
        AppendCrLf(crlf, batch.substr(0, cut));
        Spill(crlf, surplus);
        batch.remove_prefix(cut);
    }

    // The document always ends in an empty line, like a memo after adding a
    // line; if the operator typed into that last line, it becomes a line of
    // its own before the new ones.
    QString text;
    if (!LastBlockEmpty()) text += QLatin1Char('\n');
    text += ToQt(batch);
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    pending_.clear();
    pendingLines_ = 0;

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

int LogView::SpillOldestBlocks(int count) {
    count = std::min(count, ViewLineCount());
    if (count <= 0) return 0;
    QTextDocument* doc = document();
    std::string bytes;
    QTextBlock block = doc->begin();
    for (int i = 0; i < count; ++i, block = block.next()) AppendBlockBytes(bytes, block);
    QTextCursor cursor(doc);
    cursor.movePosition(QTextCursor::Start);
    if (block.isValid()) {
        cursor.setPosition(block.position(), QTextCursor::KeepAnchor);
    } else {
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    }
    cursor.removeSelectedText();
    Spill(bytes, count);
    return count;
}

void LogView::Spill(std::string_view crlfLines, long long lineCount) {
    if (crlfLines.empty()) return;
    spilledLines_ += lineCount;
    if (!spillFile_ && !spillFileBroken_) {
        spillFile_ = std::make_unique<QTemporaryFile>();
        if (!spillFile_->open()) {
            spillFile_.reset();
            spillFileBroken_ = true;
        }
    }
    if (!spillFileBroken_) {
        const auto size = static_cast<qint64>(crlfLines.size());
        if (spillFile_->write(crlfLines.data(), size) == size) return;
        // Disk full or similar: from here on the lines stay in memory, after
        // what the file already holds, so the order is kept.
        spillFileBroken_ = true;
    }
    spillMemory_.append(crlfLines);
}

std::string LogView::ViewTextForSave() const {
    std::string bytes;
    const int lines = ViewLineCount();
    QTextBlock block = document()->begin();
    for (int i = 0; i < lines && block.isValid(); ++i, block = block.next()) AppendBlockBytes(bytes, block);
    return bytes;
}

void LogView::SaveTo(const std::string& path) {
    Flush();
    // Written beside the old log and renamed over it: a crash or a full disk
    // while saving leaves the previous log whole, never a truncated one.
    QSaveFile out(QString::fromUtf8(NativePath(path)));
    if (!out.open(QIODevice::WriteOnly)) throw FileCreateError(path);
    bool ok = true;
    auto put = [&](const char* data, std::size_t size) {
        if (ok && size > 0 && out.write(data, static_cast<qint64>(size)) != static_cast<qint64>(size)) ok = false;
    };
    if (spillFile_) {
        ok = spillFile_->flush();
        const qint64 end = spillFile_->pos();
        if (ok && spillFile_->seek(0)) {
            char chunk[64 * 1024];
            qint64 left = end;
            while (ok && left > 0) {
                const qint64 got = spillFile_->read(chunk, std::min<qint64>(left, sizeof chunk));
                if (got <= 0) {
                    ok = false;
                    break;
                }
                put(chunk, static_cast<std::size_t>(got));
                left -= got;
            }
        } else {
            ok = false;
        }
        // Later spills append after what is there; saving may run again if
        // the operator keeps the window open after a failure.
        if (!spillFile_->seek(end)) spillFileBroken_ = true;
    }
    put(spillMemory_.data(), spillMemory_.size());
    const std::string view = ViewTextForSave();
    put(view.data(), view.size());
    if (!ok) {
        out.cancelWriting();
        throw FileCreateError(path);
    }
    if (!out.commit()) throw FileCreateError(path);
}

}  // namespace tovik
