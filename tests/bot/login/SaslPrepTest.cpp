// SASLprep as RFC 4013 section 3 shows it, and what it does to characters
// a Windows-1252 password may hold.

#include "bot/login/SaslPrep.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace tovik {
namespace {

TEST(SaslPrep, PreparesAsRfc4013AndRefusesWhatItProhibits) {
    const std::optional<std::string> refused;
    for (const auto& [in, out] : std::vector<std::pair<std::string, std::optional<std::string>>>{
             // RFC 4013's examples: soft hyphen, none, case, NFKC twice, prohibited, bidirectional.
             {"I\xc2\xadX", "IX"}, {"user", "user"}, {"USER", "USER"}, {"\xc2\xaa", "a"}, {"\xe2\x85\xa8", "IX"},
             {"\x07", refused}, {"\xd8\xa7" "1", refused},
             // ´ (blank and combining acute), no-break space, ², ½ (with a fraction slash), ™.
             {"\xc2\xb4", " \xcc\x81"}, {"a\xc2\xa0" "b", "a b"}, {"x\xc2\xb2", "x2"}, {"\xc2\xbd", "1\xe2\x81\x84" "2"},
             {"\xe2\x84\xa2", "TM"}, {"Stra\xc3\x9f" "e", "Stra\xc3\x9f" "e"},
             // Nothing left, and a NUL.
             {"", refused}, {"\xc2\xad", refused}, {std::string("a\0b", 3), refused}})
        EXPECT_EQ(SaslPrep(in), out) << test::Escaped(in);
}

}  // namespace
}  // namespace tovik
