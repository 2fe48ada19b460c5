#pragma once
// What the window tests share: one QApplication for the whole binary, a
// recording stand-in for every message box and file chooser, and a scratch
// program directory that the tests start from.

#include <QApplication>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <string>
#include <vector>

#include "ui/UserPrompts.h"

namespace tovik::test {

struct PromptRecord {
    QString kind;  // "error", "question" or "file"
    QString title;
    QString text;
    bool defaultYes = false;
};

// Answers questions from a queue (No when it runs dry) and records every box.
class RecordingPrompts : public UserPrompts {
public:
    void Error(const QString& title, const QString& text) override;
    bool Question(const QString& title, const QString& text, bool defaultYes) override;
    QString OpenFile(QWidget* parent, const QString& title, const QString& folder, const QString& filters) override;

    std::vector<PromptRecord> records;
    std::deque<bool> answers;
    QString fileToChoose;  // empty: the chooser is cancelled
    QString lastFolder, lastFilters;

    std::vector<QString> Errors() const;
};

// The order in which Tab visits the given widgets, starting at the first:
// the focus chain filtered to them (labels, scroll bars and inner editors
// in between are skipped).
std::vector<QWidget*> TabOrderOf(const std::vector<QWidget*>& widgets);
// Object names along the whole focus chain, for failure messages.
std::string FocusChainNames(QWidget* start);

// A fresh directory that a test uses as program directory; the process's
// working directory is put back afterwards (the profile manager moves it).
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    std::string Path() const { return dir_.path().toStdString(); }
    std::string Profiles() const { return Path() + "/PROFILES"; }
    void MakeProfilesDir() const;

private:
    QString oldCwd_;
    QTemporaryDir dir_;
};

}  // namespace tovik::test
