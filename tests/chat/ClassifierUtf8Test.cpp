// A partner on a UTF-8 client must be understood as well as one on a
// Windows-1252 client: the same question falls into the same categories.
// Rows hold the UTF-8 bytes such a client sends (this file is UTF-8) beside
// the Windows-1252 bytes of the same text.

#include "chat/Categories.h"
#include "chat/Classifier.h"
#include "text/Encoding.h"
#include "text/Literal.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::Escaped;

struct BothClientsRow {
    std::string_view utf8;
    std::string_view cp1252;
    std::string_view tags;
};

void PrintTo(const BothClientsRow& row, std::ostream* os) { *os << '"' << Escaped(row.utf8) << '"'; }

class BothClients : public ::testing::TestWithParam<BothClientsRow> {};

TEST_P(BothClients, SameCategoriesFromEitherClient) {
    const BothClientsRow& row = GetParam();
    const ReceivedText fromUtf8 = ReadReceived(row.utf8);
    EXPECT_EQ(TextEncoding::Utf8, fromUtf8.encoding);
    EXPECT_EQ(TextEncoding::Cp1252, RecogniseEncoding(row.cp1252));
    EXPECT_EQ(std::string(row.tags), Classify(fromUtf8.cp1252)) << "UTF-8 client: " << Escaped(row.utf8);
    EXPECT_EQ(std::string(row.tags), Classify(ReadReceived(row.cp1252).cp1252))
        << "Windows-1252 client: " << Escaped(row.cp1252);
}

const BothClientsRow kBothClients[] = {
    {"tschüß", "tschüß"_w1252, "bye;"},
    {"TSCHÜSS", "TSCHÜSS"_w1252, "bye;"},
    {"ok tschö", "ok tschö"_w1252, "bye;"},
    {"hallöchen", "hallöchen"_w1252, "greeting;"},
    {"HALLÖCHEN :)", "HALLÖCHEN :)"_w1252, "greeting;goodsmily;"},
    {"wie groß?", "wie groß?"_w1252, "size;"},
    {"WIE GROß?", "WIE GROß?"_w1252, "size;"},
    {"lass uns über was anderes reden", "lass uns über was anderes reden"_w1252, "otherthema;"},
    {"was für hobbies hast du", "was für hobbies hast du"_w1252, "hobbies;"},
    {"freizeitbeschäftigungen?", "freizeitbeschäftigungen?"_w1252, "hobbies;"},
    {"wie heißt du?", "wie heißt du?"_w1252, "prename;"},
    {"hi, wie geht´s?", "hi, wie geht´s?"_w1252, "greeting;howareyou;"},
    {"wie fühlst du dich", "wie fühlst du dich"_w1252, "howareyou;"},
    {"„woher?“ 😉", "„woher?“"_w1252, "arefrom;"},
};

INSTANTIATE_TEST_SUITE_P(Messages, BothClients, ::testing::ValuesIn(kBothClients));

// Characters that Windows-1252 lacks must not complete a keyword. Had they
// become '?', the first two rows would ask for the size and the nationality.
TEST(Utf8ClassifyTest, CharactersWindows1252LacksMatchNothing) {
    struct Row { std::string_view utf8; std::string_view tags; };
    const Row rows[] = {
        {"wie groß😀", ""},
        {"deutsch☃", ""},
        {"alter☃ 25", ""},
        {"hi 😀", "greeting;"},
        {"😀😀😀", ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(std::string(r.tags), Classify(ReadReceived(r.utf8).cp1252)) << Escaped(r.utf8);
}

// The keyword catalogue must never come to hold the stand-in byte.
TEST(Utf8ClassifyTest, NoKeywordHoldsTheStandInByte) {
    for (int k = 0; k < detail::PhraseKeywordCount(); ++k)
        EXPECT_EQ(std::string_view::npos, detail::PhraseKeyword(k).find(kNoKeywordByte))
            << Escaped(detail::PhraseKeyword(k));
}

}  // namespace
}  // namespace tovik
