#include "chat/Persona.h"
#include "text/Literal.h"

#include <gtest/gtest.h>

#include "ChatTestSupport.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::Escaped;
using test::TempProfile;

class ExpandPersonaTest : public ::testing::Test {
protected:
    TempProfile profile;
    std::string Expand(std::string_view text) { return ExpandPersona(text, profile.File()); }
};

TEST_F(ExpandPersonaTest, DefaultsWhenTheProfileIsEmptyOrMissing) {
    struct Row { std::string_view text, expected; };
    const Row rows[] = {
        {"<location>", "IRC"},
        {"<sex>", "männlich"_w1252},
        {"<age>", "18"},
        {"<haircolor>", "blond"},
        {"<eyecolor>", "blau"},
        {"<figure>", "schlank"},
        {"<size>", "1,70"},
        {"<weight>", "65"},
        {"<prename>", "Tovik"},
        {"<hobbies>", "lesen, tanzen, disco, freunde und compuer"},
        {"<picture>", ""},
    };
    for (const Row& row : rows) EXPECT_EQ(std::string(row.expected), Expand(row.text)) << row.text;  // no file
    profile.Set("");
    for (const Row& row : rows) EXPECT_EQ(std::string(row.expected), Expand(row.text)) << row.text;  // empty file
}

TEST_F(ExpandPersonaTest, ValuesFromThePersonData) {
    profile.SetPersonData(
        "Location=K\xF6ln\r\nSex=1\r\nAge=21\r\nHairColor=rot\r\nEyeColor=gr\xFCn\r\nFigure=dick\r\n"
        "Size=1,85\r\nWeight=90\r\nPreName=Susi\r\nHobbies=chatten\r\nPicture=/tmp/a.jpg\r\n");
    EXPECT_EQ("K\xF6ln weiblich 21 rot gr\xFCn dick 1,85 90 Susi chatten",
              Expand("<location> <sex> <age> <haircolor> <eyecolor> <figure> <size> <weight> <prename> <hobbies>"));
    EXPECT_EQ("/tmp/a.jpg", Expand("<picture>"));
}

TEST_F(ExpandPersonaTest, EveryOccurrenceIsReplaced) {
    profile.SetPersonData("Age=21\r\n");
    EXPECT_EQ("ich bin 21 und 21", Expand("ich bin <age> und <age>"));
    EXPECT_EQ("212121", Expand("<age><age><age>"));
}

TEST_F(ExpandPersonaTest, OnlyAnExactZeroIsMale) {
    const std::pair<const char*, std::string_view> rows[] = {
        {"Sex=0\r\n", "männlich"_w1252}, {"Sex=1\r\n", "weiblich"}, {"Sex=\r\n", "weiblich"},
        {"Sex=00\r\n", "weiblich"},      {"Sex=-1\r\n", "weiblich"}, {"Sex=x\r\n", "weiblich"},
    };
    for (const auto& [ini, expected] : rows) {
        profile.SetPersonData(ini);
        EXPECT_EQ(std::string(expected), Expand("<sex>")) << ini;
    }
}

TEST_F(ExpandPersonaTest, AslAnswerWithAnEmptyProfile) {
    profile.Set("");
    EXPECT_EQ("ich bin 18, männlich und komme aus IRC"_w1252, Expand("ich bin <age>, <sex> und komme aus <location>"));
}

TEST_F(ExpandPersonaTest, OtherMarkersStay) {
    EXPECT_EQ("<Age>", Expand("<Age>"));
    EXPECT_EQ("<name>", Expand("<name>"));
    EXPECT_EQ("<age", Expand("<age"));
    EXPECT_EQ("", Expand(""));
    EXPECT_EQ("keine Marke", Expand("keine Marke"));
}

TEST_F(ExpandPersonaTest, PictureOnlyAsTheWholeText) {
    profile.SetPersonData("Picture=/tmp/a.jpg\r\n");
    EXPECT_EQ("x<picture>", Expand("x<picture>"));
    EXPECT_EQ("|<picture>", Expand("|<picture>"));
    EXPECT_EQ("<picture> ", Expand("<picture> "));
    EXPECT_EQ("/tmp/a.jpg", Expand("<picture>"));
}

TEST_F(ExpandPersonaTest, ThePicturePathComesBackAsStored) {
    profile.SetPersonData("Picture=/bilder/<age>/ich.jpg\r\n");
    EXPECT_EQ("/bilder/<age>/ich.jpg", Expand("<picture>"));
}

TEST_F(ExpandPersonaTest, InsertedValuesAreNotScannedAgain) {
    profile.SetPersonData("Location=Stadt <age>\r\nAge=<location>\r\n");
    EXPECT_EQ("Stadt <age>", Expand("<location>"));
    // At one position the markers are tried in table order, so a value that
    // begins with a later marker is filled too, one with an earlier is not.
    EXPECT_EQ("<location>", Expand("<age>"));
    profile.SetPersonData("Location=<age>x\r\n");
    EXPECT_EQ("18x", Expand("<location>"));
}

TEST_F(ExpandPersonaTest, AMatchBeforeAValueReadsTheValuesBeginning) {
    // "<ag" + "<location>": after the value "e>!" is in, "<age>" starts at 0.
    profile.SetPersonData("Location=e>!\r\n");
    EXPECT_EQ("18!", Expand("<ag<location>"));
}

TEST_F(ExpandPersonaTest, BarInAValueIsInsertedUnchanged) {
    profile.SetPersonData("Hobbies=lesen|tanzen\r\n");
    EXPECT_EQ("|ich mache gern: lesen|tanzen :>", Expand("|ich mache gern: <hobbies> :>"));
}

TEST_F(ExpandPersonaTest, SeesAChangedProfileAtTheNextCall) {
    profile.SetPersonData("Age=21\r\n");
    EXPECT_EQ("21", Expand("<age>"));
    profile.SetPersonData("Age=22\r\n");
    EXPECT_EQ("22", Expand("<age>"));
}

TEST(DccOfferLineTest, Format) {
    struct Row { std::string_view path, address; std::uint16_t port; std::uint64_t size; std::string_view line; };
    const Row rows[] = {
        {"C:\\Bilder\\ich.jpg", "0.0.1.2", 5678, 512, "\x01" "DCC SEND ich.jpg 258 5678 512\x01"},
        {"/home/anna/mein bild.jpg", "0.0.1.2", 5678, 512, "\x01" "DCC SEND mein bild.jpg 258 5678 512\x01"},
        {"D:ich.jpg", "127.0.0.1", 5678, 0, "\x01" "DCC SEND ich.jpg 2130706433 5678 0\x01"},
        {"ich.jpg", "128.0.0.1", 1, 7, "\x01" "DCC SEND ich.jpg 2147483649 1 7\x01"},
        {"/a/b", "255.255.255.255", 65535, 5000000000ULL, "\x01" "DCC SEND b 4294967295 65535 5000000000\x01"},
        // Over IPv6 the address goes as text, as DCC clients take it.
        {"ich.jpg", "2001:db8::5", 5678, 512, "\x01" "DCC SEND ich.jpg 2001:db8::5 5678 512\x01"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(std::string(row.line), DccOfferLine(row.path, row.address, row.port, row.size))
            << Escaped(row.path);
}

}  // namespace
}  // namespace tovik
