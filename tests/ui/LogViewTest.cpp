#include "ui/LogView.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "TestSupport.h"
#include "UiTestSupport.h"
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

}  // namespace
}  // namespace tovik
