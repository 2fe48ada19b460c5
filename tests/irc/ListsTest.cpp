// The lists and numbers of IRCv3 values, read one way everywhere.

#include "irc/Lists.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

std::string Joined(const std::vector<std::string_view>& pieces) {
    std::string out;
    for (const auto piece : pieces) out += "[" + std::string(piece) + "]";
    return out;
}

TEST(Lists, SplitsSkippingEmptyPiecesAndReadsKeysValuesAndNumbers) {
    for (const auto& [text, separator, pieces] : std::vector<std::tuple<std::string, char, std::string>>{
             {"multi-prefix  sasl=PLAIN,EXTERNAL ", ' ', "[multi-prefix][sasl=PLAIN,EXTERNAL]"},
             {",*,-typing,,", ',', "[*][-typing]"},
             {"", ',', ""},
             {"r=abc,s=W22Z==,i=4096", ',', "[r=abc][s=W22Z==][i=4096]"}})
        EXPECT_EQ(Joined(SplitList(text, separator)), pieces) << text;

    EXPECT_EQ(KeyAndValue("sts=port=6697"), (std::pair<std::string_view, std::string_view>{"sts", "port=6697"}));
    EXPECT_EQ(KeyAndValue("preload"), (std::pair<std::string_view, std::string_view>{"preload", ""}));
    EXPECT_EQ(ListValue("r=abc,s=W22Z==,i=4096", "s"), "W22Z==");
    EXPECT_EQ(ListValue("ri=1,i,x=2", "i"), std::nullopt);  // a key alone has no value

    EXPECT_EQ(DecimalNumber<int>("4096"), 4096);
    EXPECT_EQ(DecimalNumber<std::uint16_t>("65536"), std::nullopt);
    for (const char* bad : {"", "-1", "+1", " 1", "1 ", "12s", "0x10"})
        EXPECT_EQ(DecimalNumber<long>(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace tovik
