#include "text/Errors.h"
#include "text/Literal.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

using namespace tovik::literals;

TEST(StrToIntTest, AcceptsOptionallySignedDecimals) {
    struct Row { const char* in; int out; };
    const Row rows[] = {{"0", 0}, {"500", 500}, {"-1", -1}, {"+7", 7}, {"007", 7},
                        {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}};
    for (const Row& r : rows) EXPECT_EQ(r.out, StrToInt(r.in)) << r.in;
}

TEST(StrToIntTest, RejectsEverythingElseWithTheGermanText) {
    const char* bad[] = {"", " 5", "5 ", "-", "+", "1,5", "0x10", "abc", "12a",
                         "2147483648", "-2147483649", "99999999999999999999"};
    for (const char* in : bad) {
        try {
            StrToInt(in);
            ADD_FAILURE() << "accepted '" << in << "'";
        } catch (const ConvertError& e) {
            EXPECT_EQ("'" + std::string(in) + std::string("' ist kein gültiger Integerwert"_w1252), e.what());
        }
    }
}

TEST(ErrorTextTest, ConventionsTexts) {
    EXPECT_STREQ("In /p/a.ini kann nicht geschrieben werden", ProfileWriteError("/p/a.ini").what());
    EXPECT_STREQ("Datei /p/a.log kann nicht erstellt werden", FileCreateError("/p/a.log").what());
    EXPECT_STREQ("Windows-Socket-Fehler: Connection refused (111), auf API 'connect'",
                 SocketError("Connection refused", 111, "connect").what());
    EXPECT_STREQ("Asynchroner Socket-Fehler 10061", SocketError(10061).what());
    EXPECT_STREQ("Datei nicht gefunden: /x.jpg", FileError(ENOENT, "/x.jpg").what());
    EXPECT_STREQ("Dateizugriff verweigert: /x.jpg", FileError(EACCES, "/x.jpg").what());
    EXPECT_STREQ("E/A-Fehler 5: /x.jpg", FileError(EIO, "/x.jpg").what());
}

}  // namespace
}  // namespace tovik
