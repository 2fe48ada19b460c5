#include "text/Cp1252.h"
#include "text/Literal.h"

#include <gtest/gtest.h>

#include <string_view>

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

// Only well-formed UTF-8 is decoded. A lenient decoder would turn the
// overlong "C0 AF" into "/" and "C0 80" into NUL, and so let a path or a
// command smuggle in bytes that a check on the raw text never saw.
TEST(Cp1252ConversionTest, DecodesStrictly) {
    struct Row { const char* name; std::string_view utf8; std::string_view cp1252; };
    const Row rows[] = {
        {"overlong slash", "a\xC0\xAF" "b", "a??b"},
        {"overlong NUL", std::string_view("\xC0\x80", 2), "??"},
        {"overlong three-byte", "\xE0\x80\xAF", "???"},
        {"overlong four-byte", "\xF0\x80\x80\xAF", "????"},
        {"surrogate", "\xED\xA0\x80", "???"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "????"},
        {"lead F5", "\xF5\x80\x80\x80", "????"},
        {"stray continuation", "x\xBCy", "x?y"},
        {"truncated at end", "gr\xC3", "gr?"},
        {"cut-off euro sign", "\xE2\x82" "5", "?5"},
        {"cut-off emoji", "\xF0\x9F\x98 ", "? "},
        {"Windows-1252 umlaut", "gr\xFC\xDF", "gr??"},
        {"emoji, well-formed", "\xF0\x9F\x98\x80", "?"},
        {"last code point", "\xF4\x8F\xBF\xBF", "?"},
        {"largest before surrogates", "\xED\x9F\xBF", "?"},
        {"euro sign", "\xE2\x82\xAC", "\x80"},
        {"U+0081 keeps its byte", "\xC2\x81", "\x81"},
        {"U+0080 has none", "\xC2\x80", "?"},
    };
    for (const Row& r : rows) EXPECT_EQ(r.cp1252, Utf8ToCp1252(r.utf8)) << r.name;
}

// Paths decode by the same rule: an overlong slash in a file name on disk
// must not become a directory separator inside the program.
TEST(Cp1252ConversionTest, PathsDecodeStrictly) {
    EXPECT_EQ("..??x", PathFromNative("..\xC0\xAFx"));
    EXPECT_EQ("M\xFCnchen", PathFromNative("M\xC3\xBCnchen"));
}

}  // namespace
}  // namespace tovik
