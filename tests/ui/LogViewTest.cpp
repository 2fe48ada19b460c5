#include "ui/LogView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <unistd.h>

#include <cstdio>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "app/LogBook.h"
#include "text/Errors.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::Escaped;
using test::ReadFileBytes;

std::string Numbered(int from, int to) {
    std::string out;
    for (int i = from; i <= to; ++i) out += "line " + std::to_string(i) + "\r\n";
    return out;
}

class LogViewTest : public ::testing::Test {
protected:
    std::string SavedBytes(LogView& view) {
        const std::string path = dir.Path() + "/out.log";
        view.SaveTo(path);
        return ReadFileBytes(path);
    }
    test::ScratchDir dir;
};

TEST_F(LogViewTest, StartsEmptyAndSavesNothingButAnEmptyFile) {
    LogView view;
    EXPECT_EQ(view.toPlainText(), QString());
    EXPECT_EQ(view.ViewLineCount(), 0);
    EXPECT_EQ(SavedBytes(view), "");
}

TEST_F(LogViewTest, LinesShowAfterTheBatchTimerAndSaveWithCrLf) {
    LogView view;
    view.AppendLine("PING :server");
    view.AppendLine(":a!b@c PRIVMSG Tovik :hi");
    EXPECT_EQ(view.ViewLineCount(), 0) << "lines wait for the batch";
    ASSERT_TRUE(test::WaitUntil([&] { return view.ViewLineCount() == 2; }, 2000));
    EXPECT_EQ(view.document()->findBlockByNumber(0).text(), QStringLiteral("PING :server"));
    EXPECT_EQ(SavedBytes(view), "PING :server\r\n:a!b@c PRIVMSG Tovik :hi\r\n");
}

TEST_F(LogViewTest, Windows1252BytesShowAsTheirCharactersAndSaveAsBytes) {
    LogView view;
    const std::string line = std::string("Gr") + "\xFC\xDF" + " aus M\xFCnchen \x80 \xA0 " + "\x02\x03" + "14x";
    view.AppendLine(line);
    view.AppendLine("\xE4");
    view.Flush();
    EXPECT_EQ(view.document()->findBlockByNumber(1).text(), QStringLiteral("ä"));
    EXPECT_EQ(view.document()->findBlockByNumber(0).text(),
              QString::fromUtf8("Grüß aus München € \u00A0 \x02\x03" "14x"));
    EXPECT_EQ(Escaped(SavedBytes(view)), Escaped(line + "\r\n\xE4\r\n"));
}

// Partners' clients send UTF-8 or Windows-1252; both read right in the view,
// and the log keeps each line's bytes as they came, in view and parked
// alike. A line the operator edits is saved in Windows-1252, as ever.
TEST_F(LogViewTest, Utf8AndWindows1252LinesShowAlikeAndSaveAsReceived) {
    LogView view(nullptr, 4);
    const std::string utf8 = ":a!u@h PRIVMSG Bot :tsch\xC3\xBC\xC3\x9F";
    const std::string cp1252 = ":b!u@h PRIVMSG Bot :tsch\xFC\xDF";
    const std::string overlong = ":c!u@h PRIVMSG Bot :\xC0\xAF";  // not UTF-8: two Windows-1252 letters
    for (const std::string& line : {utf8, cp1252, overlong}) view.AppendLine(line);
    view.Flush();
    EXPECT_EQ(view.document()->findBlockByNumber(0).text(), QString::fromUtf8(":a!u@h PRIVMSG Bot :tschüß"));
    EXPECT_EQ(view.document()->findBlockByNumber(1).text(), QString::fromUtf8(":b!u@h PRIVMSG Bot :tschüß"));
    EXPECT_EQ(view.document()->findBlockByNumber(2).text(), QString::fromUtf8(":c!u@h PRIVMSG Bot :À¯"));
    const std::string asReceived = utf8 + "\r\n" + cp1252 + "\r\n" + overlong + "\r\n";
    EXPECT_EQ(Escaped(SavedBytes(view)), Escaped(asReceived));

    QTextCursor cursor(view.document()->findBlockByNumber(0));
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(QStringLiteral("!"));
    for (int i = 1; i <= 8; ++i) view.AppendLine(utf8);  // the first three lines are parked by now
    view.Flush();
    ASSERT_GE(view.SpilledLineCount(), 3);
    std::string expected = ":a!u@h PRIVMSG Bot :tsch\xFC\xDF!\r\n" + cp1252 + "\r\n" + overlong + "\r\n";
    for (int i = 1; i <= 8; ++i) expected += utf8 + "\r\n";
    EXPECT_EQ(Escaped(SavedBytes(view)), Escaped(expected));
}

// Whatever a partner puts into a line, it stays one line: one block in the
// view, in view and parked alike, and its bytes in the saved log, the same
// as the bot without a window saves.
TEST_F(LogViewTest, OddLinesStayOneLineEachAndBothSaversWriteTheSameBytes) {
    const std::string odd[] = {
        ":a!u@h PRIVMSG Bot :eins\xE2\x80\xA8zwei",  // U+2028
        ":a!u@h PRIVMSG Bot :eins\xE2\x80\xA9zwei",  // U+2029
        ":a!u@h PRIVMSG Bot :eins\rzwei",              // a lone CR
        ":a!u@h PRIVMSG Bot :\xEF\xB7\x90\xEF\xB7\x91",  // U+FDD0, U+FDD1
        std::string(":a!u@h PRIVMSG Bot :a\0b", 22),
        ":a!u@h PRIVMSG Bot :\xFF\xC3(\x8D\r",        // not UTF-8; a CR in Windows-1252
        ":a!u@h PRIVMSG Bot :\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",  // Привет
        ":a!u@h PRIVMSG Bot :" + std::string(488, 'x') + "\xD0",  // 510 bytes, cut inside a letter
    };
    std::string expected;
    for (const std::string& line : odd) expected += line + "\r\n";
    for (const int viewLines : {100, 3}) {
        SCOPED_TRACE(viewLines);
        LogView view(nullptr, viewLines);
        LogBook headless;
        for (const std::string& line : odd) {
            view.AppendLine(line);
            headless.Append(line);
        }
        view.Flush();
        EXPECT_EQ(view.SpilledLineCount() + view.ViewLineCount(), static_cast<long long>(std::size(odd)));
        EXPECT_EQ(view.document()->blockCount(), view.ViewLineCount() + 1) << "one block per line, and the empty last";
        EXPECT_EQ(Escaped(SavedBytes(view)), Escaped(expected));
        headless.SaveTo(dir.Path() + "/headless.log", {{0, headless.Size(), {}}});
        EXPECT_EQ(Escaped(ReadFileBytes(dir.Path() + "/headless.log")), Escaped(expected));
    }
}

TEST_F(LogViewTest, EmptyLinesAreKept) {
    LogView view;
    view.AppendLine("");
    view.AppendLine("a");
    view.AppendLine("");
    view.Flush();
    EXPECT_EQ(SavedBytes(view), "\r\na\r\n\r\n");
}

TEST_F(LogViewTest, OperatorEditsAreSavedAndTextTypedOnTheLastLineBecomesALine) {
    LogView view;
    view.AppendLine("one");
    view.AppendLine("two");
    view.Flush();
    QTextCursor cursor(view.document()->findBlockByNumber(0));
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(QStringLiteral(" (gelesen)"));
    QTextCursor end(view.document());
    end.movePosition(QTextCursor::End);
    end.insertText(QStringLiteral("Notiz äö"));
    view.AppendLine("three");
    view.Flush();
    EXPECT_EQ(Escaped(SavedBytes(view)), Escaped("one (gelesen)\r\ntwo\r\nNotiz \xE4\xF6\r\nthree\r\n"));
}

TEST_F(LogViewTest, ALineBreakTypedWithShiftIsSavedAsALineBreak) {
    LogView view(nullptr, 4);
    view.AppendLine("eins");
    view.Flush();
    QTextCursor cursor(view.document()->findBlockByNumber(0));
    cursor.movePosition(QTextCursor::EndOfBlock);
    view.setTextCursor(cursor);
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Return, Qt::ShiftModifier);
    QTest::keyClicks(&view, QStringLiteral("Notiz"));
    EXPECT_EQ(Escaped(SavedBytes(view)), Escaped("eins\r\nNotiz\r\n"));
    // The same when the line has left the view for the scratch file.
    for (const char* line : {"a", "b", "c", "d", "e", "f"}) view.AppendLine(line);
    view.Flush();
    ASSERT_GT(view.SpilledLineCount(), 0);
    EXPECT_EQ(Escaped(SavedBytes(view)), Escaped("eins\r\nNotiz\r\na\r\nb\r\nc\r\nd\r\ne\r\nf\r\n"));
}

TEST_F(LogViewTest, TabLeavesTheViewWithoutTypingATab) {
    QWidget window;
    auto* view = new LogView(&window, 4);
    auto* next = new QLineEdit(&window);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    view->AppendLine("eins");
    view->Flush();
    view->setFocus();
    ASSERT_TRUE(view->hasFocus());
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_TRUE(next->hasFocus());
    EXPECT_EQ(Escaped(SavedBytes(*view)), Escaped("eins\r\n"));
}

TEST_F(LogViewTest, TrimmingKeepsTheLineAnOperatorScrolledToAtTheTop) {
    LogView view(nullptr, 40);
    view.resize(300, 120);
    view.show();
    for (int i = 1; i <= 40; ++i) view.AppendLine("Zeile " + std::to_string(i));
    view.Flush();
    QScrollBar* bar = view.verticalScrollBar();
    bar->setValue(bar->maximum() - 5);  // scrolled up a little, reading
    const QString top = view.cursorForPosition(QPoint(2, 2)).block().text();
    for (int i = 41; i <= 60; ++i) view.AppendLine("Zeile " + std::to_string(i));
    view.Flush();
    ASSERT_GT(view.SpilledLineCount(), 0) << "the view was trimmed";
    EXPECT_EQ(view.cursorForPosition(QPoint(2, 2)).block().text(), top);
}

TEST_F(LogViewTest, OldLinesSpillAndTheSavedLogIsCompleteAndInOrder) {
    LogView view(nullptr, 10);
    for (int i = 1; i <= 95; ++i) {
        view.AppendLine("line " + std::to_string(i));
        if (i % 3 == 0) view.Flush();
    }
    view.Flush();
    EXPECT_LE(view.ViewLineCount(), 10 + 2);
    EXPECT_GT(view.SpilledLineCount(), 80);
    EXPECT_EQ(view.SpilledLineCount() + view.ViewLineCount(), 95);
    EXPECT_EQ(SavedBytes(view), Numbered(1, 95));
    // Saving twice gives the same file: a failed close may be retried.
    EXPECT_EQ(SavedBytes(view), Numbered(1, 95));
}

TEST_F(LogViewTest, EditsToLinesThatLaterSpillAreKept) {
    LogView view(nullptr, 5);
    for (int i = 1; i <= 4; ++i) view.AppendLine("line " + std::to_string(i));
    view.Flush();
    QTextCursor cursor(view.document()->findBlockByNumber(1));
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(QStringLiteral("!"));
    for (int i = 5; i <= 30; ++i) {
        view.AppendLine("line " + std::to_string(i));
        view.Flush();
    }
    EXPECT_GT(view.SpilledLineCount(), 2);
    EXPECT_EQ(SavedBytes(view), "line 1\r\nline 2!\r\n" + Numbered(3, 30));
}

TEST_F(LogViewTest, ABatchLargerThanTheViewSpillsItsSurplusDirectly) {
    LogView view(nullptr, 8);
    view.AppendLine("before 1");
    view.AppendLine("before 2");
    view.Flush();
    // The flood flushes by itself whenever a view's worth has piled up.
    for (int i = 1; i <= 50; ++i) view.AppendLine("line " + std::to_string(i));
    view.Flush();
    EXPECT_LE(view.ViewLineCount(), 8);
    EXPECT_EQ(view.document()->lastBlock().previous().text(), QStringLiteral("line 50"));
    EXPECT_EQ(SavedBytes(view), "before 1\r\nbefore 2\r\n" + Numbered(1, 50));
}

TEST_F(LogViewTest, SpillBoundariesLoseNothingForEveryBatchSize) {
    for (int batch = 1; batch <= 13; ++batch) {
        LogView view(nullptr, 4);
        for (int i = 1; i <= 40; ++i) {
            view.AppendLine("line " + std::to_string(i));
            if (i % batch == 0) view.Flush();
        }
        EXPECT_EQ(SavedBytes(view), Numbered(1, 40)) << "batch " << batch;
    }
}

TEST_F(LogViewTest, SavingIntoAMissingDirectoryFailsWithTheFileCreateText) {
    LogView view;
    view.AppendLine("x");
    const std::string path = dir.Path() + "/missing/a.log";
    try {
        view.SaveTo(path);
        FAIL() << "no error";
    } catch (const FileCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + path + " kann nicht erstellt werden");
    }
}

TEST_F(LogViewTest, SavingReplacesAnOlderFile) {
    test::WriteFileBytes(dir.Path() + "/out.log", "old old old old old\r\n");
    LogView view;
    view.AppendLine("new");
    EXPECT_EQ(SavedBytes(view), "new\r\n");
}

// The journal beside the profile's log: what a crash or a power loss leaves
// behind, and what the next start makes of it.

TEST_F(LogViewTest, ReceivedLinesAreOnTheDiskBesideTheLogWithinASecond) {
    LogView view;
    const std::string log = dir.Path() + "/anna.log";
    view.JournalBeside(log);
    EXPECT_EQ(view.JournalPath(), dir.Path() + "/anna.log.parked");
    view.AppendLine(":irc.test 001 anna :Willkommen");
    view.AppendLine("Gr\xFC\xDF" "e");
    // Not shown yet nor saved: the journal alone has them, by itself.
    EXPECT_TRUE(test::WaitUntil(
        [&] { return ReadFileBytes(view.JournalPath()) == ":irc.test 001 anna :Willkommen\r\nGr\xFC\xDF" "e\r\n"; },
        1000))
        << Escaped(ReadFileBytes(view.JournalPath()));
    EXPECT_EQ(ReadFileBytes(log), "") << "the log itself is written only at the end";
}

TEST_F(LogViewTest, WhatARunLeftBesideTheLogIsFoldedIntoItWhenTheLogIsOpened) {
    struct Row {
        const char* what;
        bool logExists;
        std::string log, leftover, expected;
    } rows[] = {
        {"appended to the last run's log", true, "alt 1\r\nalt 2\r\n", "neu 1\r\nneu 2\r\n",
         "alt 1\r\nalt 2\r\nneu 1\r\nneu 2\r\n"},
        {"no log yet", false, "", "neu\r\n", "neu\r\n"},
        {"a log without its last line end", true, "alt", "neu\r\n", "alt\r\nneu\r\n"},
        {"an empty leftover changes nothing", true, "alt\r\n", "", "alt\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::string log = dir.Path() + "/anna.log";
        ::unlink(log.c_str());
        if (row.logExists) test::WriteFileBytes(log, row.log);
        test::WriteFileBytes(log + ".parked", row.leftover);
        LogView view;
        view.JournalBeside(log);
        EXPECT_EQ(Escaped(ReadFileBytes(log)), Escaped(row.expected));
        EXPECT_FALSE(QFile::exists(QString::fromStdString(log + ".parked")));
        EXPECT_EQ(view.ViewLineCount(), 0) << "the old lines are not shown";
    }
}

TEST_F(LogViewTest, ALogThatCannotTakeTheLeftoverKeepsItAndSaysSo) {
    const std::string log = dir.Path() + "/anna.log";
    QDir(QString::fromStdString(dir.Path())).mkdir(QStringLiteral("anna.log"));
    test::WriteFileBytes(log + ".parked", "neu\r\n");
    LogView view;
    try {
        view.JournalBeside(log);
        FAIL() << "no error";
    } catch (const FileCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Datei " + log + " kann nicht erstellt werden");
    }
    EXPECT_EQ(ReadFileBytes(log + ".parked"), "neu\r\n");
}

TEST_F(LogViewTest, AfterASavedEndTheJournalIsGoneAndLaterLinesStartAFreshOne) {
    LogView view(nullptr, 4);
    const std::string log = dir.Path() + "/anna.log";
    view.JournalBeside(log);
    for (int i = 1; i <= 20; ++i) view.AppendLine("line " + std::to_string(i));
    view.SyncJournal();
    view.SaveTo(log);
    view.JournalDone();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(view.JournalPath())));
    // The session went on (a logout that was cancelled): the parked lines
    // are still there for the next save, the new journal holds only new lines.
    for (int i = 21; i <= 23; ++i) view.AppendLine("line " + std::to_string(i));
    view.SyncJournal();
    EXPECT_EQ(ReadFileBytes(view.JournalPath()), Numbered(21, 23));
    EXPECT_EQ(SavedBytes(view), Numbered(1, 23));
}

TEST_F(LogViewTest, TheJournalFollowsTheProfileWhoseLogWillGetTheLines) {
    LogView view;
    view.JournalBeside(dir.Path() + "/anna.log");
    view.AppendLine("eins");
    view.SyncJournal();
    view.JournalBeside(dir.Path() + "/bernd.log");
    view.AppendLine("zwei");
    view.SyncJournal();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(dir.Path() + "/anna.log.parked")));
    EXPECT_EQ(ReadFileBytes(dir.Path() + "/bernd.log.parked"), "eins\r\nzwei\r\n");
}

TEST_F(LogViewTest, ParkedLinesComeBackFromTheJournalFileWithTheOperatorsChanges) {
    LogView view(nullptr, 5);
    view.JournalBeside(dir.Path() + "/anna.log");
    for (int i = 1; i <= 4; ++i) view.AppendLine("line " + std::to_string(i));
    view.Flush();
    QTextCursor cursor(view.document()->findBlockByNumber(1));
    cursor.movePosition(QTextCursor::EndOfBlock);
    cursor.insertText(QStringLiteral("!"));
    QTextCursor split(view.document()->findBlockByNumber(2));
    split.insertText(QStringLiteral("vorne"));
    split.insertBlock();
    for (int i = 5; i <= 60; ++i) {
        view.AppendLine("line " + std::to_string(i));
        if (i % 7 == 0) view.SyncJournal();
        view.Flush();
    }
    ASSERT_GT(view.SpilledLineCount(), 40);
    EXPECT_EQ(SavedBytes(view), "line 1\r\nline 2!\r\nvorne\r\n" + Numbered(3, 60));
    // What a crash would leave: every line as received, none of the changes.
    view.SyncJournal();
    EXPECT_EQ(ReadFileBytes(view.JournalPath()), Numbered(1, 60));
}

// The program killed outright (SIGKILL: no handler runs, nothing is saved).
// The child is this test binary running only the next test.
TEST(LogViewChild, DISABLED_ReceivesLinesUntilKilled) {
    const QByteArray log = qgetenv("TOVIK_CHILD_LOG");
    if (log.isEmpty()) GTEST_SKIP() << "runs only as the child of the SIGKILL test";
    LogView view;
    view.JournalBeside(log.toStdString());
    for (int i = 1; i <= 3; ++i) view.AppendLine("line " + std::to_string(i));
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    QTest::qWait(60000);
}

TEST_F(LogViewTest, KilledOutrightTheLinesOfAllButTheLastSecondAreLeftForTheNextStart) {
    const std::string log = dir.Path() + "/anna.log";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOVIK_CHILD_LOG"), QString::fromStdString(log));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_also_run_disabled_tests"), QStringLiteral("--gtest_filter=LogViewChild.*")});
    ASSERT_TRUE(child.waitForStarted());
    QByteArray output;
    ASSERT_TRUE(test::WaitUntil(
        [&] {
            output += child.readAllStandardOutput();
            return output.contains("ready\n");
        },
        30000))
        << output.toStdString();
    // The lines have arrived; within a second they are on the disk.
    EXPECT_TRUE(test::WaitUntil([&] { return ReadFileBytes(log + ".parked") == Numbered(1, 3); }, 1000));
    child.kill();
    ASSERT_TRUE(child.waitForFinished());
    EXPECT_EQ(ReadFileBytes(log), "") << "nothing was saved";

    LogView next;
    next.JournalBeside(log);
    EXPECT_EQ(ReadFileBytes(log), Numbered(1, 3));
}

}  // namespace
}  // namespace tovik
