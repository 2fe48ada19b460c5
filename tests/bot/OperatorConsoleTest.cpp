#include "bot/OperatorConsole.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace tovik {
namespace {

struct ConsoleCase {
    std::string typed;
    std::string sent;  // empty: nothing is sent
};

class OperatorConsoleTest : public ::testing::TestWithParam<ConsoleCase> {};

TEST_P(OperatorConsoleTest, SendsTheCommandsLine) {
    const auto line = ConsoleCommandLine(GetParam().typed, "#Tovik-B0T");
    EXPECT_EQ(test::Escaped(line.value_or("")), test::Escaped(GetParam().sent)) << GetParam().typed;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OperatorConsoleTest,
    ::testing::Values(ConsoleCase{"op Alice", "MODE #Tovik-B0T +o Alice\n"},
                      ConsoleCase{"VOICE bob", "MODE #Tovik-B0T +v bob\n"},
                      ConsoleCase{"kick Eve", "KICK #Tovik-B0T Eve :Have a nice day ...\n"},
                      ConsoleCase{"invite Carol", "INVITE Carol #Tovik-B0T\n"},
                      ConsoleCase{"op Foo-Bar", "MODE #Tovik-B0T +o Foo\n"},
                      ConsoleCase{"op [Foo]", "MODE #Tovik-B0T +o \n"},
                      ConsoleCase{"op: Alice", "MODE #Tovik-B0T +o \n"},
                      ConsoleCase{"op", "MODE #Tovik-B0T +o \n"},
                      ConsoleCase{"voice bob and more words", "MODE #Tovik-B0T +v bob\n"},
                      ConsoleCase{"hello", ""},
                      ConsoleCase{"", ""},
                      ConsoleCase{"opx Alice", ""}));

TEST(OperatorConsoleTest, ActsOnTheGivenChannel) {
    EXPECT_EQ(ConsoleCommandLine("invite Carol", "#Elsewhere"), "INVITE Carol #Elsewhere\n");
    EXPECT_EQ(ConsoleCommandLine("op Carol", "#Elsewhere"), "MODE #Elsewhere +o Carol\n");
}

}  // namespace
}  // namespace tovik
