#include "bot/OutgoingLine.h"

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

}  // namespace
}  // namespace tovik
