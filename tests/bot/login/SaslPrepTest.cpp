// SASLprep as RFC 4013 section 3 shows it, and the characters of a German
// keyboard (and Windows-1252) that it changes.

#include "bot/login/SaslPrep.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace tovik {
namespace {

TEST(SaslPrep, PreparesAsRfc4013AndRefusesWhatItProhibits) {
    const std::optional<std::string> refused;
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases{
        // RFC 4013's own examples.
        {"I\xc2\xadX", "IX"},               // soft hyphen mapped to nothing
        {"user", "user"},                   // nothing to do
        {"USER", "USER"},                   // case stays
        {"\xc2\xaa", "a"},                  // NFKC
        {"\xe2\x85\xa8", "IX"},             // ROMAN NUMERAL NINE
        {"\x07", refused},                  // prohibited
        {"\xd8\xa7" "1", refused},          // bidirectional check
        // What a password typed in Windows-1252 may hold.
        {"\xc2\xb4", " \xcc\x81"},          // ´: blank and combining acute
        {"a\xc2\xa0" "b", "a b"},           // no-break space
        {"x\xc2\xb2", "x2"},                // ²
        {"\xc2\xbd", "1\xe2\x81\x84" "2"},  // ½: 1, fraction slash, 2
        {"\xe2\x84\xa2", "TM"},             // ™
        {"Stra\xc3\x9f" "e", "Stra\xc3\x9f" "e"},
        {"", refused},
        {"\xc2\xad", refused},              // nothing left
        {std::string("a\0b", 3), refused},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(SaslPrep(in), out) << test::Escaped(in);
}

}  // namespace
}  // namespace tovik
