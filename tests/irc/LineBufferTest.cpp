#include "irc/LineBuffer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"

namespace tovik {
namespace {

using test::Escaped;

std::vector<std::string> Drain(LineBuffer& buffer) {
    std::vector<std::string> lines;
    std::string line;
    while (buffer.Next(line)) lines.push_back(Escaped(line));
    return lines;
}

// Feeds the chunks one after another, draining after each, as the socket
// read handler does.
std::vector<std::string> Feed(const std::vector<std::string>& chunks) {
    LineBuffer buffer;
    std::vector<std::string> lines;
    for (const auto& chunk : chunks) {
        buffer.Append(chunk);
        for (auto& l : Drain(buffer)) lines.push_back(std::move(l));
    }
    return lines;
}

using Lines = std::vector<std::string>;

TEST(LineBuffer, Framing) {
    struct Case {
        const char* name;
        std::vector<std::string> chunks;
        Lines expected;
    };
    const std::vector<Case> cases = {
        {"crlf", {"PING :a\r\n"}, {"PING :a"}},
        {"bare lf", {"PING :a\n"}, {"PING :a"}},
        {"two lines one chunk", {"a\r\nb\n"}, {"a", "b"}},
        {"only one cr removed", {"a\r\r\n"}, {"a\\x0D"}},
        {"cr inside kept", {"a\rb\n"}, {"a\\x0Db"}},
        {"empty lines", {"\n\r\n\n"}, {"", "", ""}},
        {"tail waits", {"a\nb"}, {"a"}},
        {"tail completed", {"a\nb", "c\r", "\n"}, {"a", "bc"}},
        {"cr and lf in separate chunks", {"x\r", "\ny\r", "\n"}, {"x", "y"}},
        {"nothing", {""}, {}},
        {"nul byte kept", {std::string("a\0b\n", 4)}, {"a\\x00b"}},
    };
    for (const auto& c : cases) EXPECT_EQ(Feed(c.chunks), c.expected) << c.name;
}

TEST(LineBuffer, ByteByByte) {
    const std::string text = ":nick!user PRIVMSG bot :hallo\r\nPING :x\n";
    LineBuffer buffer;
    Lines lines;
    for (char c : text) {
        buffer.Append(std::string_view(&c, 1));
        for (auto& l : Drain(buffer)) lines.push_back(std::move(l));
    }
    EXPECT_EQ(lines, (Lines{":nick!user PRIVMSG bot :hallo", "PING :x"}));
    EXPECT_EQ(buffer.Pending(), 0u);
}

TEST(LineBuffer, SplitAtEveryPosition) {
    const std::string text = ":a!b PRIVMSG c :d e\r\n:x 376 y :z\r\n";
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        EXPECT_EQ(Feed({text.substr(0, cut), text.substr(cut)}),
                  (Lines{":a!b PRIVMSG c :d e", ":x 376 y :z"}))
            << "cut at " << cut;
    }
}

TEST(LineBuffer, PendingCountsWaitingBytes) {
    LineBuffer buffer;
    buffer.Append("abc\nde");
    EXPECT_EQ(buffer.Pending(), 6u);
    std::string line;
    ASSERT_TRUE(buffer.Next(line));
    EXPECT_EQ(line, "abc");
    EXPECT_EQ(buffer.Pending(), 2u);
    EXPECT_FALSE(buffer.Next(line));
    EXPECT_EQ(line, "abc");  // untouched when no line is complete
}

TEST(LineBuffer, OverlongUnterminatedLineIsDiscarded) {
    LineBuffer buffer;
    const std::string junk(100 * 1024, 'x');
    // Arrives in pieces, as from a socket; memory must stay bounded.
    for (std::size_t i = 0; i < junk.size(); i += 4096) {
        buffer.Append(std::string_view(junk).substr(i, 4096));
        EXPECT_LE(buffer.Pending(), LineBuffer::kMaxPending + 1);
    }
    buffer.Append("yyy\r\nPING :ok\r\n");
    EXPECT_EQ(Drain(buffer), (Lines{"PING :ok"}));
}

TEST(LineBuffer, OverlongLineInOneChunkIsDiscarded) {
    // The same limit however the bytes are cut.
    const std::string junk(LineBuffer::kMaxPending + 1, 'x');
    EXPECT_EQ(Feed({"a\n" + junk + "\r\nb\n"}), (Lines{"a", "b"}));
    EXPECT_EQ(Feed({"a\n" + junk, "\r\nb\n"}), (Lines{"a", "b"}));
}

TEST(LineBuffer, CompleteLinesBeforeAnOverlongTailSurvive) {
    LineBuffer buffer;
    buffer.Append("one\ntwo\n" + std::string(LineBuffer::kMaxPending + 10, 'x'));
    buffer.Append("still junk\nthree\n");
    EXPECT_EQ(Drain(buffer), (Lines{"one", "two", "three"}));
}

TEST(LineBuffer, LineOfExactlyMaxLengthComesOutWhole) {
    const std::string line(LineBuffer::kMaxPending, 'L');
    for (const char* end : {"\n", "\r\n"}) {
        // Whole, in two halves, and split right before the line end.
        for (std::size_t cut : {line.size() / 2, line.size(), line.size() + 1}) {
            const std::string text = line + end + "next\n";
            const auto lines = Feed({text.substr(0, cut), text.substr(cut)});
            ASSERT_EQ(lines.size(), 2u) << "cut " << cut;
            EXPECT_EQ(lines[0], line);
            EXPECT_EQ(lines[1], "next");
        }
    }
}

TEST(LineBuffer, ManyLinesInManyChunks) {
    std::string text;
    Lines expected;
    for (int i = 0; i < 5000; ++i) {
        expected.push_back("line " + std::to_string(i));
        text += expected.back() + "\r\n";
    }
    std::vector<std::string> chunks;
    for (std::size_t i = 0; i < text.size(); i += 777) chunks.push_back(text.substr(i, 777));
    EXPECT_EQ(Feed(chunks), expected);
}

}  // namespace
}  // namespace tovik
