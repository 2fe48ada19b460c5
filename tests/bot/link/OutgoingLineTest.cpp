#include "bot/link/OutgoingLine.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace tovik {
namespace {

using test::Escaped;

struct SealCase {
    std::string built;
    std::string sent;
};

class SealLineTest : public ::testing::TestWithParam<SealCase> {};

TEST_P(SealLineTest, SendsOneCleanLine) {
    EXPECT_EQ(Escaped(SealLine(GetParam().built)), Escaped(GetParam().sent));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SealLineTest,
    ::testing::Values(
        SealCase{"PRIVMSG bob :hi\n", "PRIVMSG bob :hi\n"},
        SealCase{"MODE #c +nt \n", "MODE #c +nt \n"},  // the trailing blank stays
        SealCase{"PRIVMSG #c :a\r\nQUIT\n", "PRIVMSG #c :aQUIT\n"},
        SealCase{"PRIVMSG #c :a\nJOIN #x\n", "PRIVMSG #c :aJOIN #x\n"},
        SealCase{"PRIVMSG bob\r :x\rKICK\n", "PRIVMSG bob :xKICK\n"},
        SealCase{std::string("PRIVMSG #c :a\0b\n", 16), "PRIVMSG #c :ab\n"},
        SealCase{"PRIVMSG #c :no end", "PRIVMSG #c :no end\n"},
        SealCase{"\n", "\n"},
        SealCase{"", "\n"},
        SealCase{"\x01" "DCC SEND a.jpg 1 2 3\x01\n", "\x01" "DCC SEND a.jpg 1 2 3\x01\n"}));

TEST(SealLineTest, CutsLongLinesToFitTheServersLimit) {
    const std::string body = "PRIVMSG #c :" + std::string(600, 'x');
    const std::string sealed = SealLine(body + "\n");
    ASSERT_EQ(sealed.size(), kMaxLineBody + 1);
    EXPECT_LE(sealed.size(), 512u);
    EXPECT_EQ(sealed.substr(0, kMaxLineBody), body.substr(0, kMaxLineBody));
    EXPECT_EQ(sealed.back(), '\n');
}

TEST(SealLineTest, ALineAtTheLimitIsKeptWhole) {
    const std::string body(kMaxLineBody, 'y');
    EXPECT_EQ(SealLine(body + "\n"), body + "\n");
}

TEST(SealLineTest, RemovedBreaksDoNotCountTowardsTheLimit) {
    const std::string body = std::string(kMaxLineBody, 'z');
    EXPECT_EQ(SealLine("\r\r" + body + "\n"), body + "\n");
}

// Where the cut falls into a character: a UTF-8 line loses the whole
// character, a Windows-1252 line (one byte each) is cut at the limit.
struct CutCase {
    std::string tail;  // follows a body of filler bytes that ends just before the limit
    std::size_t filler;
    Charset charset;
    std::string kept;  // what is left of the tail
};

class SealLineCutTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(SealLineCutTest, NeverSplitsAUtf8Character) {
    const CutCase& c = GetParam();
    const std::string body = "PRIVMSG #c :" + std::string(c.filler - 12, 'x');
    const std::string sealed = SealLine(body + c.tail + "\n", c.charset);
    ASSERT_LE(sealed.size(), kMaxLineBody + 1);
    EXPECT_EQ(Escaped(sealed), Escaped(body + c.kept + "\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SealLineCutTest,
    ::testing::Values(
        // "ü" is C3 BC: one byte left for it, so it goes.
        CutCase{"\xc3\xbc", kMaxLineBody - 1, Charset::Utf8, ""},
        CutCase{"\xc3\xbc", kMaxLineBody - 2, Charset::Utf8, "\xc3\xbc"},
        CutCase{"a\xc3\xbc", kMaxLineBody - 2, Charset::Utf8, "a"},
        // The euro sign E2 82 AC, cut after one or two of its bytes.
        CutCase{"\xe2\x82\xac", kMaxLineBody - 1, Charset::Utf8, ""},
        CutCase{"\xe2\x82\xac", kMaxLineBody - 2, Charset::Utf8, ""},
        CutCase{"\xe2\x82\xacz", kMaxLineBody - 3, Charset::Utf8, "\xe2\x82\xac"},
        // A four-byte character, cut after three.
        CutCase{"\xf0\x9f\x98\x80", kMaxLineBody - 3, Charset::Utf8, ""},
        // Windows-1252 lines keep the plain cut, whatever the bytes look like.
        CutCase{"\xc3\xbc", kMaxLineBody - 1, Charset::Cp1252, "\xc3"},
        CutCase{"\xfc\xfc", kMaxLineBody - 1, Charset::Cp1252, "\xfc"}));

}  // namespace
}  // namespace tovik
