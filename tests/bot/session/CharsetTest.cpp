// Which bytes a line leaves in: the setting's values, the conversions of the
// bot's own and of received text, the server's UTF8ONLY, and the memory of
// what each partner's client spoke.

#include "bot/session/Charset.h"

#include <gtest/gtest.h>

#include <optional>

#include "TestSupport.h"
#include "bot/session/ServerSupport.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::Escaped;

struct SettingCase {
    std::string value;
    Charset charset;
};

class CharsetSettingTest : public ::testing::TestWithParam<SettingCase> {};

TEST_P(CharsetSettingTest, ReadsTheValue) {
    EXPECT_EQ(CharsetFromSetting(GetParam().value), GetParam().charset) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, CharsetSettingTest,
    ::testing::Values(SettingCase{"UTF-8", Charset::Utf8}, SettingCase{"utf8", Charset::Utf8},
                      SettingCase{"Windows-1252", Charset::Cp1252}, SettingCase{"WINDOWS-1252", Charset::Cp1252},
                      SettingCase{" windows-1252\t", Charset::Cp1252}, SettingCase{"cp1252", Charset::Cp1252},
                      SettingCase{"ISO-8859-1", Charset::Cp1252}, SettingCase{"Latin1", Charset::Cp1252},
                      // Unknown, empty and misspelt values: UTF-8, like a profile without the key.
                      SettingCase{"", Charset::Utf8}, SettingCase{"Windows1252", Charset::Utf8},
                      SettingCase{"KOI8-R", Charset::Utf8}, SettingCase{std::string(kDefaultCharset), Charset::Utf8}));

struct TranscodeCase {
    std::string received;
    TextEncoding from;
    Charset to;
    std::string sent;
};

class TranscodeTest : public ::testing::TestWithParam<TranscodeCase> {};

TEST_P(TranscodeTest, CarriesTheCharactersOver) {
    const TranscodeCase& c = GetParam();
    EXPECT_EQ(Escaped(Transcode(c.received, c.from, c.to)), Escaped(c.sent)) << Escaped(c.received);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TranscodeTest,
    ::testing::Values(
        TranscodeCase{"grüß dich", TextEncoding::Utf8, Charset::Utf8, "grüß dich"},
        TranscodeCase{"grüß dich", TextEncoding::Utf8, Charset::Cp1252, std::string("grüß dich"_w1252)},
        TranscodeCase{std::string("grüß dich"_w1252), TextEncoding::Cp1252, Charset::Utf8, "grüß dich"},
        TranscodeCase{std::string("grüß dich"_w1252), TextEncoding::Cp1252, Charset::Cp1252,
                      std::string("grüß dich"_w1252)},
        TranscodeCase{"hallo", TextEncoding::Unknown, Charset::Utf8, "hallo"},
        TranscodeCase{"hallo", TextEncoding::Unknown, Charset::Cp1252, "hallo"},
        // Bound for a UTF-8 client, nothing is lost; for a Windows-1252 one
        // a character the code page lacks is "?", never the matching marker.
        TranscodeCase{"hi 😀 €", TextEncoding::Utf8, Charset::Utf8, "hi 😀 €"},
        TranscodeCase{"hi 😀 €", TextEncoding::Utf8, Charset::Cp1252, "hi ? \x80"},
        TranscodeCase{"\x80\x9f", TextEncoding::Cp1252, Charset::Utf8, "€Ÿ"}));

TEST(CharsetTest, EncodesTheBotsOwnText) {
    EXPECT_EQ(Escaped(Encode("ich komme aus Düsseldorf"_w1252, Charset::Utf8)), Escaped("ich komme aus Düsseldorf"));
    EXPECT_EQ(Escaped(Encode("männlich"_w1252, Charset::Cp1252)), Escaped("m\xe4nnlich"));
}

TEST(CharsetTest, ANickIsRecognisedOnItsOwn) {
    EXPECT_EQ(Escaped(Transcode("J\xc3\xb6rg", Charset::Cp1252)), Escaped("J\xf6rg"));
    EXPECT_EQ(Escaped(Transcode("J\xf6rg", Charset::Utf8)), Escaped("J\xc3\xb6rg"));
    EXPECT_EQ(Transcode("anna", Charset::Utf8), "anna");
}

struct IsupportCase {
    std::string line;
    std::optional<bool> said;
};

class Utf8OnlyTest : public ::testing::TestWithParam<IsupportCase> {};

// What the server support makes of the line, from either state.
TEST_P(Utf8OnlyTest, ReadsTheAnnouncement) {
    ServerSupport off;
    ServerSupport on;
    on.Follow(ParseMessage(":srv 005 bot UTF8ONLY :are supported"));
    off.Follow(ParseMessage(GetParam().line));
    on.Follow(ParseMessage(GetParam().line));
    EXPECT_EQ(off.Utf8Only(), GetParam().said.value_or(false)) << GetParam().line;
    EXPECT_EQ(on.Utf8Only(), GetParam().said.value_or(true)) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Utf8OnlyTest,
    ::testing::Values(
        IsupportCase{":srv 005 bot CHANTYPES=# UTF8ONLY NICKLEN=30 :are supported by this server", true},
        IsupportCase{":srv 005 bot UTF8ONLY :are supported", true},
        IsupportCase{":srv 005 bot UTF8ONLY", true},
        IsupportCase{"005 bot UTF8ONLY :no prefix", true},
        IsupportCase{":srv 005 bot UTF8ONLY= :with an empty value", true},
        IsupportCase{":srv 005 bot -UTF8ONLY :withdrawn", false},
        IsupportCase{":srv 005 bot CHANTYPES=# NICKLEN=30 :are supported", std::nullopt},
        // Only tokens count, not the trailing text, and only the exact name.
        IsupportCase{":srv 005 bot NICKLEN=30 :UTF8ONLY is nice", std::nullopt},
        IsupportCase{":srv 005 bot UTF8ONLYX utf8only :are supported", std::nullopt},
        IsupportCase{":srv 004 bot UTF8ONLY", std::nullopt},
        IsupportCase{":anna!a@h PRIVMSG bot :005 bot UTF8ONLY", std::nullopt},
        IsupportCase{"", std::nullopt}));

TEST(PartnerCharsetsTest, TheLastTellingMessageCounts) {
    PartnerCharsets partners;
    EXPECT_EQ(partners.Of("anna"), std::nullopt);
    partners.Tell("anna", TextEncoding::Unknown);  // pure ASCII tells nothing
    EXPECT_EQ(partners.Of("anna"), std::nullopt);
    partners.Tell("Anna", TextEncoding::Utf8);
    EXPECT_EQ(partners.Of("ANNA"), Charset::Utf8);
    partners.Tell("anna", TextEncoding::Unknown);
    EXPECT_EQ(partners.Of("anna"), Charset::Utf8);
    partners.Tell("anna", TextEncoding::Cp1252);
    EXPECT_EQ(partners.Of("anna"), Charset::Cp1252);
    // Compared as the server compares nicks: "[" is "{", but an umlaut in
    // another case is another nick.
    partners.Tell("[J\xd6RG]", TextEncoding::Utf8);
    EXPECT_EQ(partners.Of("{j\xd6rg}"), Charset::Utf8);
    EXPECT_EQ(partners.Of("{j\xf6rg}"), std::nullopt);
    EXPECT_EQ(partners.Size(), 2u);
    partners.Rename("JORG", "anna");  // unknown: nothing moves
    partners.Rename("anna", "J\xf6rg2");  // a nick change: the charset goes along
    EXPECT_EQ(partners.Of("anna"), std::nullopt);
    EXPECT_EQ(partners.Of("j\xf6rg2"), Charset::Cp1252);
    partners.Clear();
    EXPECT_EQ(partners.Of("anna"), std::nullopt);
    EXPECT_EQ(partners.Size(), 0u);
}

TEST(PartnerCharsetsTest, BeyondTheBoundThePartnerWhoToldLongestAgoIsForgotten) {
    PartnerCharsets partners(3);
    partners.Tell("a", TextEncoding::Utf8);
    partners.Tell("b", TextEncoding::Cp1252);
    partners.Tell("c", TextEncoding::Utf8);
    partners.Tell("a", TextEncoding::Utf8);  // told again: now the newest
    partners.Tell("d", TextEncoding::Cp1252);
    EXPECT_EQ(partners.Size(), 3u);
    EXPECT_EQ(partners.Of("b"), std::nullopt);
    EXPECT_EQ(partners.Of("a"), Charset::Utf8);
    EXPECT_EQ(partners.Of("c"), Charset::Utf8);
    EXPECT_EQ(partners.Of("d"), Charset::Cp1252);
    for (int i = 0; i < 10; ++i) partners.Tell("n" + std::to_string(i), TextEncoding::Utf8);
    EXPECT_EQ(partners.Size(), 3u);
    EXPECT_EQ(partners.Of("n9"), Charset::Utf8);
    EXPECT_EQ(partners.Of("a"), std::nullopt);
}

}  // namespace
}  // namespace tovik
