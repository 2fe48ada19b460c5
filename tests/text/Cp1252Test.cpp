#include "text/Cp1252.h"
#include "text/Literal.h"

#include <gtest/gtest.h>

namespace tovik {
namespace {

using namespace tovik::literals;

TEST(LiteralTest, UmlautsBecomeSingleWindows1252Bytes) {
    EXPECT_EQ("m\xE4nnlich", std::string("männlich"_w1252));
    EXPECT_EQ("tsch\xFC\xDF", std::string("tschüß"_w1252));
    EXPECT_EQ("geht\xB4s", std::string("geht´s"_w1252));
    EXPECT_EQ("\x80 \x84\x93", std::string("€ „“"_w1252));
    EXPECT_EQ("", std::string(""_w1252));
}

TEST(LowerAnsiTest, FollowsTheCodePage) {
    struct Row { const char* in; const char* out; };
    const Row rows[] = {
        {"ABCXYZ", "abcxyz"},
        {"\xC4\xD6\xDC", "\xE4\xF6\xFC"},       // ÄÖÜ -> äöü
        {"\xDF", "\xDF"},                         // ß stays
        {"\xD7", "\xD7"},                         // × is no letter
        {"\xC0\xDE", "\xE0\xFE"},                 // À..Þ
        {"\x8A\x8C\x8E\x9F", "\x9A\x9C\x9E\xFF"}, // Š Œ Ž Ÿ
        {"\x80\x9A\xFF", "\x80\x9A\xFF"},         // already lower or no case
        {"[]\\~^", "[]\\~^"},                     // no IRC case mapping
    };
    for (const Row& r : rows) EXPECT_EQ(r.out, LowerAnsi(r.in)) << r.in;
}

TEST(LowerAnsiTest, EqualsIgnoreCase) {
    EXPECT_TRUE(EqualsIgnoreCase("TSCH\xDCSS", "tsch\xFCss"));
    EXPECT_FALSE(EqualsIgnoreCase("a", "ab"));
    EXPECT_FALSE(EqualsIgnoreCase("[", "{"));
}

TEST(Cp1252ConversionTest, WholeHighRangeRoundTrips) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(all, Utf8ToCp1252(Cp1252ToUtf8(all)));
}

TEST(Cp1252ConversionTest, KnownCharacters) {
    EXPECT_EQ("\xE2\x82\xAC", Cp1252ToUtf8("\x80"));       // €
    EXPECT_EQ("\xC5\xA0", Cp1252ToUtf8("\x8A"));           // Š
    EXPECT_EQ("\xC3\xA4", Cp1252ToUtf8("\xE4"));           // ä
    EXPECT_EQ("\xC2\xB4", Cp1252ToUtf8("\xB4"));           // ´
    EXPECT_EQ("M\xFCnchen", Utf8ToCp1252("München"));
}

TEST(Cp1252ConversionTest, UnmappableAndMalformedBecomeQuestionMarks) {
    EXPECT_EQ("a?b", Utf8ToCp1252("a\xE2\x98\x83" "b"));  // snowman
    EXPECT_EQ("?x", Utf8ToCp1252("\xC3x"));                // truncated sequence
    EXPECT_EQ("?", Utf8ToCp1252("\xFF"));
}

}  // namespace
}  // namespace tovik
