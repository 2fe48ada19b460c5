// The lists and numbers of IRCv3 values, read one way everywhere.

#include "irc/Lists.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

TEST(Lists, SplitsSkippingEmptyPiecesAndReadsKeysValuesAndNumbers) {
    using Pieces = std::vector<std::string_view>;
    EXPECT_EQ(SplitList(" multi-prefix  sasl=PLAIN,EXTERNAL ", ' '), (Pieces{"multi-prefix", "sasl=PLAIN,EXTERNAL"}));
    EXPECT_EQ(SplitList(",*,-typing,,", ','), (Pieces{"*", "-typing"}));
    EXPECT_EQ(KeyAndValue("sts=port=6697"), (std::pair<std::string_view, std::string_view>{"sts", "port=6697"}));
    EXPECT_EQ(ListValue("r=abc,s=W22Z==,i=4096", "s"), "W22Z==");
    EXPECT_EQ(ListValue("ri=1,i,x=2", "i"), std::nullopt);  // a key alone has no value
    EXPECT_EQ(DecimalNumber<int>("4096"), 4096);
    for (const char* bad : {"65536", "", "-1", "+1", " 1", "1 ", "12s", "0x10"})
        EXPECT_EQ(DecimalNumber<std::uint16_t>(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace tovik
