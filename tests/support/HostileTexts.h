#pragma once
// Texts a hostile (or broken) server may choose, as it sends them and as
// the operator must see them: controls written out, the rest decoded as the
// log view decodes lines. None holds a blank or a comma, so that each fits
// wherever a server puts text of its own (a parameter, a list value).

#include <string>
#include <vector>

namespace tovik::test {

struct HostileText {
    const char* name;
    std::string sent;
    std::string shown;  // Windows-1252
};

inline std::vector<HostileText> HostileTexts() {
    return {
        {"ClearScreen", "\x1b[2Jgone", "\\x1B[2Jgone"},
        {"TitleAndBell", "\x1b]0;owned\x07", "\\x1B]0;owned\\x07"},
        {"CarriageReturn", "ok\rFAKE", "ok\\x0DFAKE"},
        {"Utf8Csi", "\xc2\x9b" "31m", "\\x9B31m"},
        {"UndefinedByteIsC1", "a\x9d" "b", "a\\x9Db"},
        {"Nul", std::string("x\0y", 3), "x\\x00y"},
        {"Delete", "x\x7f", "x\\x7F"},
        {"TabStays", "a\tb", "a\tb"},
        {"Utf8Umlaut", "J\xc3\xb6rg", "J\xf6rg"},
        {"Cp1252Umlaut", "J\xf6rg\x80", "J\xf6rg\x80"},
        {"OutsideCp1252", "\xf0\x9f\x98\x80!", "?!"},
    };
}

}  // namespace tovik::test
