// The journal and the saved log that window and headless bot share: a
// journal that cannot be written, a fold interrupted by a crash, and links
// in the place of log and journal.

#include "ui/LogBook.h"

#include <gtest/gtest.h>

#include <QDir>
#include <unistd.h>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "text/Errors.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::Escaped;
using test::ReadFileBytes;
using test::WriteFileBytes;

class LogBookTest : public ::testing::Test {
protected:
    std::string Log() const { return dir.Path() + "/anna.log"; }
    test::ScratchDir dir;
};

// A folder in the journal's place: told once, however often it is tried;
// the oldest lines go beyond the bound, a count line says so; once the
// place is free the kept lines reach the disk, and the saved log holds them.
TEST_F(LogBookTest, AJournalThatCannotBeWrittenIsToldOnceRetriedAndBounded) {
    const std::string journal = Log() + ".parked";
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(journal)));
    LogBook book(400);
    std::vector<std::string> told;
    QObject::connect(&book, &LogBook::JournalFailed, [&](const std::string& text) { told.push_back(text); });
    QObject::connect(&book, &LogBook::LinesDropped, [&](const std::string& notice) { book.Append(notice); });
    EXPECT_THROW(book.JournalBeside(Log()), FileCreateError) << "a folder is no leftover to fold";
    for (int i = 100; i < 200; ++i) {
        book.Append("line " + std::to_string(i));
        book.Sync();
    }
    EXPECT_EQ(told, std::vector<std::string>{"Datei " + journal + " kann nicht erstellt werden"});
    EXPECT_LE(book.PendingBytes(), 400u);

    ASSERT_TRUE(QDir().rmdir(QString::fromStdString(journal)));
    const std::string_view notice = " ältere Zeilen verworfen: das Journal konnte nicht geschrieben werden ***\r\n"_w1252;
    ASSERT_TRUE(test::WaitUntil([&] { return ReadFileBytes(journal).ends_with(notice); }, 3000))
        << "retried on the timer: " << Escaped(ReadFileBytes(journal));
    const std::string kept = ReadFileBytes(journal);
    // The newest lines without a gap, then one line that counts the others.
    const std::size_t first = std::stoul(kept.substr(5, 3));
    std::string expected;
    for (std::size_t i = first; i < 200; ++i) expected += "line " + std::to_string(i) + "\r\n";
    expected += "*** " + std::to_string(first - 100) + std::string(notice);
    EXPECT_EQ(Escaped(kept), Escaped(expected));
    EXPECT_GT(first, 150u) << "the oldest went";
    book.SaveTo(Log(), {{0, book.Size(), {}}});
    EXPECT_EQ(Escaped(ReadFileBytes(Log())), Escaped(kept));
    EXPECT_EQ(told.size(), 1u);
}

// A crash at any step of a fold, and the next start: the leftover's lines
// end up in the log exactly once.
TEST_F(LogBookTest, ACrashBetweenFoldStepsFoldsNothingTwice) {
    struct Row {
        const char* state;
        std::string log, folding, parked;
        std::string expected;
    };
    const Row rows[] = {
        {"crashed after renaming the leftover", "alt\r\n", "tot\r\n", "", "alt\r\ntot\r\n"},
        {"crashed after replacing the log", "alt\r\ntot\r\n", "tot\r\n", "", "alt\r\ntot\r\n"},
        {"and another run crashed after it", "alt\r\ntot\r\n", "tot\r\n", "neu\r\n", "alt\r\ntot\r\nneu\r\n"},
        {"an ordinary leftover", "alt\r\n", "", "neu\r\n", "alt\r\nneu\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        WriteFileBytes(Log(), row.log);
        ::unlink((Log() + ".folding").c_str());
        ::unlink((Log() + ".parked").c_str());
        if (!row.folding.empty()) WriteFileBytes(Log() + ".folding", row.folding);
        if (!row.parked.empty()) WriteFileBytes(Log() + ".parked", row.parked);
        LogBook book;
        book.JournalBeside(Log());
        EXPECT_EQ(Escaped(ReadFileBytes(Log())), Escaped(row.expected));
        EXPECT_EQ(QDir(QString::fromStdString(dir.Path())).entryList(QDir::Files), QStringList{"anna.log"});
    }
}

// Links in the place of the log and the journal are neither written through
// nor folded from: each refusal names its file, the files they name keep
// their bytes.
TEST_F(LogBookTest, LinksInThePlaceOfLogAndJournalAreRefused) {
    const std::string outside = dir.Path() + "/outside";
    WriteFileBytes(outside, "fremd\n");
    ASSERT_EQ(::symlink(outside.c_str(), Log().c_str()), 0);
    ASSERT_EQ(::symlink(outside.c_str(), (Log() + ".parked").c_str()), 0);
    LogBook book;
    std::vector<std::string> told;
    QObject::connect(&book, &LogBook::JournalFailed, [&](const std::string& text) { told.push_back(text); });
    try {
        book.JournalBeside(Log());
        ADD_FAILURE() << "folded through a link";
    } catch (const FileCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + Log() + " kann nicht erstellt werden");
    }
    book.Append("Zeile");
    book.Sync();
    EXPECT_EQ(told, std::vector<std::string>{"Datei " + Log() + ".parked kann nicht erstellt werden"});
    try {
        book.SaveTo(Log(), {{0, book.Size(), {}}});
        ADD_FAILURE() << "saved through a link";
    } catch (const FileCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + Log() + " kann nicht erstellt werden");
    }
    EXPECT_EQ(ReadFileBytes(outside), "fremd\n");
}

}  // namespace
}  // namespace tovik
