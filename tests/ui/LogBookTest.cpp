// The journal of window and headless bot: unwritable, and a fold cut short.

#include "app/LogBook.h"

#include <gtest/gtest.h>

#include <QDir>

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
    LogBookTest() {
        QObject::connect(&book, &LogBook::JournalFailed, [this](const std::string& text) { told.push_back(text); });
        QObject::connect(&book, &LogBook::LinesDropped, [this](const std::string& notice) { book.Append(notice); });
    }
    std::string Log() const { return dir.Path() + "/anna.log"; }
    test::ScratchDir dir;
    LogBook book{400};  // bytes that may wait for the disk
    std::vector<std::string> told;
};

// A folder in the journal's place: told once, the oldest lines given up
// beyond the bound; once free, the newest lines and one count line follow.
TEST_F(LogBookTest, AJournalThatCannotBeWrittenIsToldOnceRetriedAndBounded) {
    const std::string journal = Log() + ".parked";
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(journal)));
    EXPECT_THROW(book.JournalBeside(Log()), FileCreateError) << "a folder is no leftover to fold";
    for (int i = 100; i < 200; ++i) {
        book.Append("line " + std::to_string(i));
        book.Sync();
    }
    EXPECT_EQ(told, std::vector<std::string>{"Datei " + journal + " kann nicht erstellt werden"});
    EXPECT_LE(book.PendingBytes(), 400u);

    ASSERT_TRUE(QDir().rmdir(QString::fromStdString(journal)));
    const std::string_view notice = " ältere Zeilen verworfen: das Journal konnte nicht geschrieben werden ***\r\n"_w1252;
    ASSERT_TRUE(test::WaitUntil([&] { return ReadFileBytes(journal).ends_with(notice); }, 3000)) << "retried on the timer";
    const std::string kept = ReadFileBytes(journal);
    const std::size_t first = std::stoul(kept.substr(5, 3));
    std::string expected = "*** " + std::to_string(first - 100) + std::string(notice);
    for (std::size_t i = 199; i >= first; --i) expected.insert(0, "line " + std::to_string(i) + "\r\n");
    EXPECT_EQ(Escaped(kept), Escaped(expected));
    book.SaveTo(Log(), {{0, book.Size(), {}}});
    EXPECT_EQ(Escaped(ReadFileBytes(Log())), Escaped(kept));
    EXPECT_EQ(told.size(), 1u);
}

// A crash at any step of a fold, and journals that look alike: the files
// present say how far a fold came, so each leftover's lines are folded once.
TEST_F(LogBookTest, ACrashBetweenFoldStepsFoldsNothingTwiceAndNothingNotAtAll) {
    struct Row {
        const char* state;
        std::string log, folding, folded, parked, expected;
    };
    const Row rows[] = {
        {"after renaming the leftover", "alt\r\n", "tot\r\n", "", "", "alt\r\ntot\r\n"},
        {"while writing the new log", "alt\r\n", "tot\r\n", "alt\r\nt", "", "alt\r\ntot\r\n"},
        {"after removing the folding file", "alt\r\n", "", "alt\r\ntot\r\n", "", "alt\r\ntot\r\n"},
        {"and another run after it", "alt\r\n", "", "alt\r\ntot\r\n", "neu\r\n", "alt\r\ntot\r\nneu\r\n"},
        {"a second run that logged the same lines", "alt\r\ntot\r\n", "", "", "tot\r\n", "alt\r\ntot\r\ntot\r\n"},
        {"and a crash while folding it", "alt\r\ntot\r\n", "tot\r\n", "", "", "alt\r\ntot\r\ntot\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        WriteFileBytes(Log(), row.log);
        for (const auto& [suffix, bytes] : {std::pair{".folding", row.folding}, {".folded", row.folded}, {".parked", row.parked}})
            if (!bytes.empty()) WriteFileBytes(Log() + suffix, bytes);
        LogBook fresh;
        fresh.JournalBeside(Log());
        EXPECT_EQ(Escaped(ReadFileBytes(Log())), Escaped(row.expected));
        EXPECT_EQ(QDir(QString::fromStdString(dir.Path())).entryList(QDir::Files), QStringList{"anna.log"});
    }
}

}  // namespace
}  // namespace tovik
