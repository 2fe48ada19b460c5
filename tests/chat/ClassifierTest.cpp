#include "chat/Categories.h"
#include "chat/Classifier.h"
#include "text/Cp1252.h"
#include "text/Literal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "TestSupport.h"

namespace tovik {
namespace {

using namespace tovik::literals;
using test::Escaped;

struct ClassifyRow {
    std::string_view message;
    std::string_view tags;
};

void PrintTo(const ClassifyRow& row, std::ostream* os) { *os << '"' << Escaped(row.message) << '"'; }

class ClassifyTable : public ::testing::TestWithParam<ClassifyRow> {};

TEST_P(ClassifyTable, GivesTheTagsInDetectionOrder) {
    const ClassifyRow& row = GetParam();
    EXPECT_EQ(std::string(row.tags), Classify(row.message)) << "message: " << Escaped(row.message);
}

const ClassifyRow kRows[] = {
    // Word rules: whole words only, one tag per matching word.
    {"Hi", "greeting;"},
    {"HI!!!", "greeting;"},
    {"hihi", ""},
    {"hallo hi", "greeting;greeting;"},
    {"Hallöchen Moin"_w1252, "greeting;greeting;"},
    {"HALLÖCHEN"_w1252, "greeting;"},
    {"hiiii hoi huhu moinsen hiho greetz hey hy servus gude nabend hello tach",
     "greeting;greeting;greeting;greeting;greeting;greeting;greeting;greeting;greeting;greeting;greeting;"
     "greeting;greeting;"},
    {"hallo ... tschüss"_w1252, "greeting;bye;"},
    {"bye hallo", "bye;greeting;"},
    {"TSCHÜSS"_w1252, "bye;"},
    {"cu cya tschö tschüs tschüß tschüssi ciao"_w1252, "bye;bye;bye;bye;bye;bye;bye;"},
    {"hi/du", ""},          // "/" belongs to the word
    {"hi\tdu", ""},         // so does a tab
    {"(hi)", "greeting;"},
    {"byebye", ""},
    // Rule 3 to 26.
    {"hast du ein pic?", "picofu;"},
    {"hast du ein foto von dir", "picofu;"},
    {"hast du Zeit", ""},
    {"HAST DUMME FOTOS", "picofu;"},  // "du" inside "dumme"
    {"bist du allein zu haus?", "aloneathome;"},
    {"du luder", "ass;"},
    {"HURE", "ass;"},
    {"schlampe", "ass;"},
    {"nutte", "ass;"},
    {"ach vergiss es", "forgetit;"},
    {"bist du deutsch?", "german;"},
    {"bist du deutsch ?", ""},
    {"schlag was vor", "choosethema;"},
    {"lass uns über was anderes reden"_w1252, "otherthema;"},
    {"lass uns uber was anderes reden", ""},
    {"willst du mich verarschen", "joke;"},
    {"verarschst du mich nur?", "joke;"},
    {"wenn du nicht willst", "dontwant;"},
    {"wie heißt du?"_w1252, "prename;"},
    {"WIE HEISST DU?", ""},  // "ß" has no capital, "SS" stays "ss"
    {"aus welcher stadt?", "arefrom;"},
    {"von wo bisse", "arefrom;"},
    {"woher?", "arefrom;"},
    {"Woher kommst du?", "arefrom;"},
    {"wo wohnst du", "arefrom;"},
    {"beschreib dich mal", "describeyou;"},
    {"wie siehst du aus?", "describeyou;"},
    {"Hi, wie alt bist du?", "greeting;age;"},
    {"alter?", "age;"},
    {"wie groß?"_w1252, "size;"},
    {"WIE GROß?"_w1252, "size;"},
    {"wie groß bist du"_w1252, ""},
    {"wieviel kg?", "weight;"},
    {"wie gehts?", "howareyou;"},
    {"wie geht´s?"_w1252, "howareyou;"},
    {"wie geht`s?", "howareyou;"},
    {"wie geht's?", "howareyou;"},
    {"wie geht es dir", "howareyou;"},
    {"wie fühlst du dich"_w1252, "howareyou;"},
    {"alles klar?", "howareyou;"},
    {"gehts?", ""},
    {":)", "goodsmily;"},
    {";)", "goodsmily;"},
    {";]", "goodsmily;"},
    {":>", "goodsmily;"},
    {":-)", "goodsmily;"},
    {":o)", "goodsmily;"},
    {":O)", "goodsmily;"},
    {":(", ""},
    {"age sex location", "asl;"},
    {"asl?", "asl;"},
    {"asl ?", "asl;"},
    {"a,s,l?", "asl;"},
    {"A,S,L ?", "asl;"},
    {"asl please", "asl;"},
    {"asl", ""},
    {"ficken mit mir", "wannafuck;"},
    {"willst du ficken", "wannafuck;"},
    {"ficken?", "wannafuck;"},
    {"du scheinst nicht hell zu sein", "arestupid;"},
    {"du bist dumm :)", "goodsmily;arestupid;"},  // smileys are tested before insults
    {"du spinnst", "arestupid;"},
    {"dumm spinnst", "arestupid;"},  // "du" inside "dumm"
    {"nicht schlecht", "notbad;"},
    {"freizeitbeschäftigungen?"_w1252, "hobbies;"},
    {"FREIZEITBESCHÄFTIGUNGEN?"_w1252, "hobbies;"},
    {"hobbies?", "hobbies;"},
    {"was für hobbies hast du"_w1252, "hobbies;"},
    {"was interessiert dich", "hobbies;"},
    {"was machst du in deiner freizeit?", "hobbies;"},
    {"warum verstehst du das nicht", "whynotunderstand;"},
    {"wieso kapierst du nich", "whynotunderstand;"},
    {"weshalb verstehst du nicht", "whynotunderstand;"},
    {"bist du oft hier?", "oftenhere;"},
    {"chattest du oft hier", "oftenhere;"},
    // Several at once, in detection order, each phrase rule at most once.
    {"hallo :) wie gehts? :-) ;) bye", "greeting;bye;howareyou;goodsmily;"},
    {":) hi", "greeting;goodsmily;"},
    // Nothing.
    {"xyz", ""},
    {"", ""},
    {" .!?,", ""},
};

INSTANTIATE_TEST_SUITE_P(Messages, ClassifyTable, ::testing::ValuesIn(kRows));

TEST(ClassifyTest, EveryCategoryIsCoveredByTheTable) {
    std::string all;
    for (const ClassifyRow& row : kRows) all += row.tags;
    for (int c = 0; c < detail::kCategoryCount; ++c) {
        const auto tag = detail::TagOf(static_cast<detail::Category>(c));
        EXPECT_NE(std::string::npos, all.find(tag)) << tag;
    }
}

TEST(ClassifyTest, NoTagIsPartOfAListOfOtherTags) {
    // Membership is tested by substring on the tag list, so no tag may appear
    // inside the concatenation of two others.
    for (int a = 0; a < detail::kCategoryCount; ++a)
        for (int b = 0; b < detail::kCategoryCount; ++b)
            for (int t = 0; t < detail::kCategoryCount; ++t) {
                if (t == a || t == b) continue;
                const std::string pair = std::string(detail::TagOf(static_cast<detail::Category>(a))) +
                                         std::string(detail::TagOf(static_cast<detail::Category>(b)));
                EXPECT_EQ(std::string::npos, pair.find(detail::TagOf(static_cast<detail::Category>(t))));
            }
}

TEST(ClassifyTest, DetectCategoriesAgreesWithTheTagList) {
    for (const ClassifyRow& row : kRows) {
        const detail::CategorySet set = detail::DetectCategories(row.message);
        for (int c = 0; c < detail::kCategoryCount; ++c) {
            const auto category = static_cast<detail::Category>(c);
            EXPECT_EQ(ContainsText(row.tags, detail::TagOf(category)), detail::Contains(set, category))
                << Escaped(row.message) << " " << detail::TagOf(category);
        }
    }
}

// The one-pass keyword automaton must find exactly what a plain lowercased
// substring search finds, whatever the bytes.
TEST(KeywordAutomatonTest, AgreesWithSubstringSearch) {
    std::mt19937 rng(4711);
    std::vector<std::string> pieces;
    for (int k = 0; k < detail::PhraseKeywordCount(); ++k) {
        const std::string key(detail::PhraseKeyword(k));
        pieces.push_back(key);
        std::string upper = key;
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
            else if (static_cast<unsigned char>(c) >= 0xE0 && static_cast<unsigned char>(c) != 0xF7 &&
                     static_cast<unsigned char>(c) != 0xFF)
                c = static_cast<char>(static_cast<unsigned char>(c) - 0x20);
        pieces.push_back(upper);
        if (key.size() > 2) pieces.push_back(key.substr(0, key.size() - 1));  // near misses
    }
    for (const char* extra : {" ", "?", ",", "x", "\xC4", "\xDF", "\xB4", "\x01", "\x00"})
        pieces.emplace_back(extra, extra[0] ? std::strlen(extra) : 1);

    for (int round = 0; round < 20000; ++round) {
        std::string message;
        const int parts = static_cast<int>(rng() % 12);
        for (int i = 0; i < parts; ++i) {
            if (rng() % 4 == 0) message += static_cast<char>(rng() % 256);
            else message += pieces[rng() % pieces.size()];
        }
        const detail::KeywordHits fast = detail::FindKeywords(message);
        const detail::KeywordHits slow = detail::FindKeywordsBySearch(message);
        ASSERT_TRUE(fast == slow) << Escaped(message);
    }
}

// The word rules the plain way: split into words, lowercase each, compare.
std::string WordTagsBySplitting(std::string_view message) {
    static const std::string_view kGreetings[] = {
        "hiiii", "hoi", "hi", "hallo", "huhu", "hallöchen"_w1252, "moin", "moinsen", "hiho", "greetz", "hey",
        "hy", "servus", "gude", "nabend", "hello", "tach"};
    static const std::string_view kFarewells[] = {
        "bye", "cu", "cya", "tschö"_w1252, "tschüss"_w1252, "tschüs"_w1252, "tschüß"_w1252, "tschüssi"_w1252, "ciao"};
    std::string tags;
    for (int w = 1; w <= WordCount(message); ++w) {
        const std::string word = LowerAnsi(WordAt(message, w));
        for (std::string_view key : kGreetings)
            if (word == key) tags += "greeting;";
        for (std::string_view key : kFarewells)
            if (word == key) tags += "bye;";
    }
    return tags;
}

TEST(KeywordAutomatonTest, WordRulesAgreeWithSplittingIntoWords) {
    std::mt19937 rng(815);
    const std::vector<std::string_view> pieces = {
        "hi", "HI", "Hi", "hiiii", "hoi", "hallo", "HALLÖCHEN"_w1252, "hallöchen"_w1252, "moin", "moinsen",
        "hiho", "greetz", "hey", "hy", "servus", "gude", "nabend", "hello", "tach", "bye", "cu", "CYA",
        "tschö"_w1252, "TSCHÜSS"_w1252, "tschüs"_w1252, "tschüß"_w1252, "tschüssi"_w1252, "ciao", "h", "i",
        "x", "nicht", "ich", "/", "_", "\t", "\xB4", " ", ".", "!", "?", ",", ";", ":", "(", ")", "=", "*",
        "#", "'", "+", "-", "}", "]", "[", "{", "&", "$", "\"", "^"};
    for (int round = 0; round < 20000; ++round) {
        std::string message;
        const int parts = static_cast<int>(rng() % 10);
        for (int i = 0; i < parts; ++i) message += pieces[rng() % pieces.size()];
        const std::string tags = Classify(message);
        const std::string words = WordTagsBySplitting(message);
        ASSERT_EQ(words, tags.substr(0, words.size())) << Escaped(message);
        const std::string rest = tags.substr(words.size());
        ASSERT_EQ(std::string::npos, rest.find("greeting;")) << Escaped(message);
        ASSERT_EQ(std::string::npos, rest.find("bye;")) << Escaped(message);
    }
}

TEST(KeywordAutomatonTest, FindsEveryKeywordAloneAndInsideText) {
    for (int k = 0; k < detail::PhraseKeywordCount(); ++k) {
        const std::string key(detail::PhraseKeyword(k));
        EXPECT_TRUE(detail::FindKeywords(key)[k]) << Escaped(key);
        EXPECT_TRUE(detail::FindKeywords("xx" + key + "yy")[k]) << Escaped(key);
        EXPECT_FALSE(detail::FindKeywords(key.substr(1))[k]) << Escaped(key);
    }
}

TEST(ContainsTextTest, LowercasesBothSides) {
    EXPECT_TRUE(ContainsText("HALLO Welt", "welt"));
    EXPECT_TRUE(ContainsText("hallo welt", "WELT"));
    EXPECT_TRUE(ContainsText("ÄRGER"_w1252, "ärger"_w1252));
    EXPECT_FALSE(ContainsText("STRASSE", "straße"_w1252));
    EXPECT_TRUE(ContainsText("greeting;age;", "age;"));
    EXPECT_FALSE(ContainsText("greeting;", "age;"));
}

TEST(ContainsTextTest, EmptyAndLongerKeysNeverMatch) {
    EXPECT_FALSE(ContainsText("", "a"));
    EXPECT_FALSE(ContainsText("", ""));
    EXPECT_FALSE(ContainsText("abc", ""));
    EXPECT_FALSE(ContainsText("ab", "abc"));
    EXPECT_TRUE(ContainsText("abc", "abc"));
}

TEST(WordSplitterTest, CountsOnePlusTheDelimiters) {
    EXPECT_EQ(1, WordCount(""));
    EXPECT_EQ(1, WordCount("hallo"));
    EXPECT_EQ(3, WordCount("hi, du"));
    EXPECT_EQ(24, WordCount(" .!?,;:()=*#'+-}][{&$\"^"));
    EXPECT_EQ(1, WordCount("a/b<c>d@e_f%g~h`i\xB4j|k\\l\tm\xE4"));
}

TEST(WordSplitterTest, YieldsEmptyWordsBetweenDelimiters) {
    EXPECT_EQ("hi", WordAt("hi, du", 1));
    EXPECT_EQ("", WordAt("hi, du", 2));
    EXPECT_EQ("du", WordAt("hi, du", 3));
    EXPECT_EQ("", WordAt("hi, du", 4));
    EXPECT_EQ("", WordAt("hi, du", 0));
    EXPECT_EQ("", WordAt("hi, du", -1));
    EXPECT_EQ("", WordAt("", 1));
    EXPECT_EQ("", WordAt(".a", 1));
    EXPECT_EQ("a", WordAt(".a", 2));
    EXPECT_EQ("", WordAt("a.", 2));
    EXPECT_EQ("op", WordAt("op Foo-Bar", 1));
    EXPECT_EQ("Foo", WordAt("op Foo-Bar", 2));
    EXPECT_EQ("Bar", WordAt("op Foo-Bar", 3));
}

TEST(WordSplitterTest, WordAtYieldsExactlyWordCountWords) {
    const std::string text = "x^^y \"z\" & $ {a}[b] hallo!";
    std::string joined;
    for (int n = 1; n <= WordCount(text); ++n) joined += WordAt(text, n) + "|";
    EXPECT_EQ(17, WordCount(text));
    EXPECT_EQ("x||y||z|||||||a||b||hallo||", joined);
}

}  // namespace
}  // namespace tovik
