#pragma once
// Inside the conversation engine: the 26 conversation categories and the
// keyword matcher behind Classify. Not for use outside src/chat and its tests.

#include <cstdint>
#include <string_view>

namespace tovik::detail {

// In detection order: the word rules first, then the phrase rules.
enum class Category : std::uint8_t {
    Greeting, Bye, PicOfU, AloneAtHome, Ass, ForgetIt, German, ChooseThema, OtherThema, Joke,
    DontWant, PreName, AreFrom, DescribeYou, Age, Size, Weight, HowAreYou, GoodSmily, Asl,
    WannaFuck, AreStupid, NotBad, Hobbies, WhyNotUnderstand, OftenHere,
};
inline constexpr int kCategoryCount = 26;

// "greeting;", "bye;", ... : the tag that stands for the category in a tag list.
std::string_view TagOf(Category category);

// The categories a message touches, one bit per category (bit = enum value).
using CategorySet = std::uint32_t;
constexpr bool Contains(CategorySet set, Category c) {
    return (set >> static_cast<unsigned>(c)) & 1u;
}
CategorySet DetectCategories(std::string_view message);

// Which phrase keywords occur in a message (case-insensitively), one bit each.
struct KeywordHits {
    std::uint64_t bits[2] = {0, 0};
    bool operator[](int i) const { return (bits[i >> 6] >> (i & 63)) & 1u; }
    void Set(int i) { bits[i >> 6] |= std::uint64_t{1} << (i & 63); }
    friend bool operator==(const KeywordHits&, const KeywordHits&) = default;
};

int PhraseKeywordCount();
std::string_view PhraseKeyword(int i);  // Windows-1252 bytes, lowercase

// One pass of the keyword automaton over the message.
KeywordHits FindKeywords(std::string_view message);
// The same answer the slow way, one ContainsText per keyword; tests hold the
// automaton against it.
KeywordHits FindKeywordsBySearch(std::string_view message);

// The fixed answer lists (alternatives separated by "|"). AnswerList is empty
// for the photo question, whose two lists have their own accessors.
std::string_view AnswerList(Category category);
std::string_view NoPictureList();
std::string_view OfferList();
std::string_view FallbackList();

}  // namespace tovik::detail
