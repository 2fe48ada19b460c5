#pragma once
// The main window's log: every line the server sends, in arrival order,
// editable by the operator and saved beside the profile at closing.
//
// A bot runs for days, and a text widget costs far more per line than the
// line itself. So the widget holds only the newest lines; older ones are
// taken out of the document (with whatever the operator typed into them)
// and spilled to a scratch file. Saving writes the spilled lines first and
// then the widget's text, so the saved log is complete.
//
// Lines arrive one by one but are inserted in batches on a short timer: one
// insertion and one relayout per batch instead of one per line.

#include <QPlainTextEdit>
#include <QTimer>
#include <memory>
#include <string>
#include <string_view>

class QTemporaryFile;

namespace tovik {

class LogView : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr int kDefaultViewLines = 5000;

    explicit LogView(QWidget* parent = nullptr, int viewLines = kDefaultViewLines);
    ~LogView() override;

    // One received line (Windows-1252, without its line end). Shows up at
    // the next flush.
    void AppendLine(std::string_view line);
    // Inserts everything collected so far; runs by itself on a short timer.
    void Flush();

    // Writes the whole log: the spilled lines, then the lines of the view,
    // each in Windows-1252 and followed by CR LF, replacing the file.
    // Throws FileCreateError naming the path when the file cannot be written.
    void SaveTo(const std::string& path);

    // What the view holds now, one entry per line, in the saved form's order.
    int ViewLineCount() const;
    long long SpilledLineCount() const { return spilledLines_; }
    int ViewLimit() const { return viewLines_; }

private:
    void Spill(std::string_view crlfLines, long long lineCount);
    int SpillOldestBlocks(int count);  // returns how many went
    bool LastBlockEmpty() const;
    std::string ViewTextForSave() const;

    const int viewLines_;
    const int trimSlack_;
    std::string pending_;  // received lines, each ended by '\n'
    int pendingLines_ = 0;
    QTimer flushTimer_;

    std::unique_ptr<QTemporaryFile> spillFile_;
    bool spillFileBroken_ = false;
    std::string spillMemory_;  // only when the scratch file cannot be written
    long long spilledLines_ = 0;
};

}  // namespace tovik
