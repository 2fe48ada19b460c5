#include "text/Encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "TestSupport.h"
#include "text/Cp1252.h"

namespace tovik {
namespace {

using test::Escaped;

const char* NameOf(TextEncoding e) {
    switch (e) {
    case TextEncoding::Unknown: return "Unknown";
    case TextEncoding::Utf8: return "Utf8";
    case TextEncoding::Cp1252: return "Cp1252";
    }
    return "?";
}

TEST(RecogniseEncodingTest, TellsTheClientFromTheBytes) {
    struct Row { std::string_view text; TextEncoding expected; };
    const Row rows[] = {
        {"", TextEncoding::Unknown},
        {"hallo, wie gehts?", TextEncoding::Unknown},
        {std::string_view("a\0b\x7F", 4), TextEncoding::Unknown},
        {"tsch\xC3\xBC\xC3\x9F", TextEncoding::Utf8},                // tschüß
        {"\xE2\x82\xAC", TextEncoding::Utf8},                        // €
        {"hi \xF0\x9F\x98\x80", TextEncoding::Utf8},                 // an emoji
        {"a long ASCII run before the umlaut: gr\xC3\xB6\xC3\x9F", TextEncoding::Utf8},
        {"tsch\xFC\xDF", TextEncoding::Cp1252},                      // tschüß
        {"geht\xB4s", TextEncoding::Cp1252},
        {"\xC0\xAF", TextEncoding::Cp1252},                          // overlong
        {"\xED\xA0\x80", TextEncoding::Cp1252},                      // surrogate
        {"\xF4\x90\x80\x80", TextEncoding::Cp1252},                  // above U+10FFFF
        {"\xC3\xBC and then a cut-off \xC3", TextEncoding::Cp1252},
        {"D\xFCsseldorf \xC3\xBC", TextEncoding::Cp1252},            // mixed: not valid
        // Windows-1252 that happens to be well-formed UTF-8 ("Ã¼" is C3 BC)
        // cannot be told apart; it reads as "ü", which is what it most
        // likely meant anyway.
        {"\xC3\xBC", TextEncoding::Utf8},
    };
    for (const Row& r : rows)
        EXPECT_STREQ(NameOf(r.expected), NameOf(RecogniseEncoding(r.text))) << Escaped(r.text);
}

TEST(ReadReceivedTest, GivesWindows1252BytesWhateverTheClient) {
    struct Row { std::string_view in; TextEncoding encoding; std::string_view cp1252; };
    const Row rows[] = {
        {"wie gehts", TextEncoding::Unknown, "wie gehts"},
        {"wie gro\xC3\x9F?", TextEncoding::Utf8, "wie gro\xDF?"},
        {"wie gro\xDF?", TextEncoding::Cp1252, "wie gro\xDF?"},
        {"geht\xC2\xB4s", TextEncoding::Utf8, "geht\xB4s"},
        {"\xE2\x80\x9E" "ja\xE2\x80\x9C", TextEncoding::Utf8, "\x84ja\x93"},   // „ja“
        // A character the code page lacks becomes the one byte no keyword holds.
        {"hi \xE2\x98\x83!", TextEncoding::Utf8, "hi \x81!"},
        {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80", TextEncoding::Utf8, "\x81\x81"},
    };
    for (const Row& r : rows) {
        const ReceivedText got = ReadReceived(r.in);
        EXPECT_STREQ(NameOf(r.encoding), NameOf(got.encoding)) << Escaped(r.in);
        EXPECT_EQ(Escaped(r.cp1252), Escaped(got.cp1252)) << Escaped(r.in);
    }
}

// Long ASCII stretches are handled several bytes at a time; a character at
// any position of a line, near its end included, must come out the same.
TEST(ReadReceivedTest, ACharacterAnywhereInALine) {
    struct Piece { std::string_view sent; std::string_view read; TextEncoding encoding; };
    const Piece pieces[] = {
        {"\xC3\xBC", "\xFC", TextEncoding::Utf8},              // ü
        {"\xC3\x9F", "\xDF", TextEncoding::Utf8},              // ß
        {"\xE2\x82\xAC", "\x80", TextEncoding::Utf8},         // €
        {"\xF0\x9F\x98\x80", "\x81", TextEncoding::Utf8},    // emoji
        {"\xFC", "\xFC", TextEncoding::Cp1252},                 // ü from Windows-1252
        {"\xC0\xAF", "\xC0\xAF", TextEncoding::Cp1252},       // overlong
    };
    const std::string ascii = "abcdefghijklmnopqrstuvwx";
    for (const Piece& piece : pieces) {
        for (std::size_t at = 0; at <= ascii.size(); ++at) {
            const std::string sent = ascii.substr(0, at) + std::string(piece.sent) + ascii.substr(at);
            const std::string read = ascii.substr(0, at) + std::string(piece.read) + ascii.substr(at);
            const ReceivedText got = ReadReceived(sent);
            EXPECT_EQ(Escaped(read), Escaped(got.cp1252)) << Escaped(sent);
            EXPECT_STREQ(NameOf(piece.encoding), NameOf(got.encoding)) << Escaped(sent);
            EXPECT_STREQ(NameOf(piece.encoding), NameOf(RecogniseEncoding(sent))) << Escaped(sent);
        }
    }
}

TEST(DecodeForDisplayTest, UmlautsReadCorrectlyFromEitherClient) {
    const std::string utf8 = "tsch\xC3\xBC\xC3\x9F";
    EXPECT_EQ(utf8, DecodeForDisplay(utf8));
    EXPECT_EQ(utf8, DecodeForDisplay("tsch\xFC\xDF"));
    EXPECT_EQ(":a!b PRIVMSG c :hi", DecodeForDisplay(":a!b PRIVMSG c :hi"));
    // Not valid UTF-8, so every byte is Windows-1252: the overlong pair
    // shows as "À¯", never as "/".
    EXPECT_EQ("\xC3\x80\xC2\xAF", DecodeForDisplay("\xC0\xAF"));
}

TEST(AnswerConversionTest, AnswersReachAUtf8PartnerAsValidUtf8) {
    const std::string answer = "ich komme aus D\xFCsseldorf, bin m\xE4nnlich \x84gro\xDF\x93 \x80";
    const std::string sent = Cp1252ToUtf8(answer);
    EXPECT_EQ("ich komme aus D\xC3\xBCsseldorf, bin m\xC3\xA4nnlich \xE2\x80\x9Egro\xC3\x9F\xE2\x80\x9C \xE2\x82\xAC",
              sent);
    EXPECT_EQ(TextEncoding::Utf8, RecogniseEncoding(sent));
    EXPECT_EQ(answer, ReadReceived(sent).cp1252);
}

TEST(Utf8CutTest, CutsBeforeACharacterThatWouldNotFit) {
    struct Row { std::string_view line; std::size_t max; std::string_view expected; };
    const Row rows[] = {
        {"abc", 5, "abc"},
        {"abcdef", 3, "abc"},
        {"ab\xC3\xBC", 3, "ab"},                         // ü would be split
        {"ab\xC3\xBC", 4, "ab\xC3\xBC"},
        {"a\xE2\x82\xAC", 2, "a"},                       // € after one byte
        {"a\xE2\x82\xAC", 3, "a"},                       // € after two bytes
        {"a\xE2\x82\xAC" "b", 4, "a\xE2\x82\xAC"},
        {"\xF0\x9F\x98\x80", 3, ""},
        {"x\xF0\x9F\x98\x80", 4, "x"},
        {"\xC3\xBC", 0, ""},
        // No well-formed character straddles these cuts: plain byte cuts.
        {"ab\xFC\xDF", 3, "ab\xFC"},
        {"ab\xBC\xBC\xBC\xBC", 4, "ab\xBC\xBC"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Escaped(r.expected), Escaped(CutUtf8(r.line, r.max))) << Escaped(r.line) << " at " << r.max;
}

// The server's limit applied at every length: the cut is never longer than
// allowed, never splits a character, and loses at most one character.
TEST(Utf8CutTest, NeverSplitsACharacterAtAnyLength) {
    std::string line;
    for (int i = 0; i < 40; ++i) line += i % 3 == 0 ? "\xC3\xBC" : i % 3 == 1 ? "\xE2\x82\xAC" : "\xF0\x9F\x98\x80" "a";
    for (std::size_t max = 0; max <= line.size(); ++max) {
        const std::string_view cut = CutUtf8(line, max);
        EXPECT_LE(cut.size(), max);
        EXPECT_GT(cut.size() + 4, max);
        EXPECT_TRUE(IsValidUtf8(cut)) << "cut at " << max;
    }
}

}  // namespace
}  // namespace tovik
